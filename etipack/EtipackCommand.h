#pragma once

// etipack's command line:
//   etipack create <folder> --name N --id ID [--role R]... [--control ID]
//                  [--version V] [--description D] [--author A] -o <file>.etipack
//   etipack inspect <file>
//   etipack verify <file>

#include <QStringList>

namespace etipack {

// Runs the command given by the arguments after the program name, printing
// to standard output and standard error. Returns the exit status (the
// packsetup exit codes: 0 ok, 1 usage, 2 unreadable, 3 header, 4 content,
// 5 reserved id, 6 I/O).
int runCommand(const QStringList& arguments);

} // namespace etipack
