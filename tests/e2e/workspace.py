"""A throw-away ORVA working directory.

It holds copies of the installed programs (ORVA at the top, the launcher as
Extensions/chainlaunch.exe), start lists, and test extensions: small shell
scripts that append what they do to one event log, so that a test can tell
in which order programs ran and which pids to end.
"""

import collections
import os
import shutil
import stat

START_LISTS = ("Listener", "Controller", "Runner", "Structure", "MainControllerExtension")

# Bodies of test programs, run between their "start" and "end" events.
ENDS_SOON = "/bin/sleep 0.3"
RUNS_ON = "exec /bin/sleep 600"  # same pid, never logs its end
CRASHES = "kill -KILL $$"
# Logs each argument as its own "arg" event, in order.
RECORDS_ARGS = "for arg; do printf 'arg %s %s %s\\n' \"$tag\" \"$$\" \"$arg\" >> \"$log\"; done"
# Holds on until the file `release` appears in the working directory (at
# most a minute), so that a test can look at what happens meanwhile.
WAITS_FOR_RELEASE = "i=0; while [ ! -e release ] && [ $i -lt 600 ]; do /bin/sleep 0.1; i=$((i + 1)); done"
READS_STDIN = "printf 'stdin %s %s %s\\n' \"$tag\" \"$$\" \"$(/bin/cat | /usr/bin/wc -c)\" >> \"$log\""

# One line of the event log: kind "start" carries pid, parent pid, argument
# count, time and working directory; "end" only the pid; "stdin" the pid and
# the number of bytes read from standard input.
Event = collections.namedtuple("Event", "kind tag pid ppid nargs time cwd value", defaults=(None,) * 5)

_SCRIPT = """#!/bin/sh
log='{log}'
tag='{tag}'
printf 'start %s %s %s %s %s %s\\n' "$tag" "$$" "$PPID" "$#" "$(/bin/date +%s.%N)" "$(pwd -P)" >> "$log"
{body}
printf 'end %s %s\\n' "$tag" "$$" >> "$log"
"""


class Workspace:
    def __init__(self, root, app_dir):
        if not app_dir or not os.path.isfile(os.path.join(app_dir, "ORVA")):
            raise AssertionError("ORVA_APP_DIR must name an installed app folder (ORVA, "
                                 "Extensions/chainlaunch.exe); got {!r}".format(app_dir))
        self.root = os.path.realpath(root)
        os.makedirs(os.path.join(self.root, "Extensions"))
        shutil.copy2(os.path.join(app_dir, "ORVA"), self.path("ORVA"))
        shutil.copy2(os.path.join(app_dir, "Extensions", "chainlaunch.exe"), self.chainlaunch)
        self.log = self.path("events.log")
        open(self.log, "wb").close()

    def add_installer(self, app_dir):
        """The installed app's installer, extension folder 00000001."""
        shutil.copytree(os.path.join(app_dir, "Extensions", "00000001"), self.path("Extensions", "00000001"))

    @property
    def installer(self):
        return self.path("Extensions", "00000001", "packsetup.exe")

    @property
    def orva(self):
        return self.path("ORVA")

    @property
    def chainlaunch(self):
        return self.path("Extensions", "chainlaunch.exe")

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def write(self, relative, data):
        path = self.path(*relative.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as file:
            file.write(data if isinstance(data, bytes) else data.encode("utf-8"))
        return path

    def read(self, relative):
        with open(self.path(*relative.split("/")), "rb") as file:
            return file.read()

    def write_start_lists(self, listener=(), **others):
        """Writes all five start lists: identifiers one per line."""
        for name in START_LISTS:
            ids = listener if name == "Listener" else others.get(name, ())
            self.write("Start/{}.etl".format(name), "".join(i + "\n" for i in ids))

    def add_program(self, relative, tag, body=ENDS_SOON, executable=True):
        """A test program at `relative` that logs its start and end as `tag`."""
        path = self.write(relative, _SCRIPT.format(log=self.log, tag=tag, body=body))
        mode = os.stat(path).st_mode
        os.chmod(path, mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH if executable
                 else mode & ~(stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH))
        return path

    def add_extension(self, ext_id, name, control_id=None, body=ENDS_SOON, tag=None):
        """Extension folder `ext_id`: name file, program `<name>.exe` and,
        when `control_id` is given, the control file naming it."""
        self.write("Extensions/{}/ExtensionName.etn".format(ext_id), name)
        self.add_program("Extensions/{}/{}.exe".format(ext_id, name), tag or ext_id, body)
        if control_id is not None:
            self.write("Extensions/{}/{}.control".format(ext_id, name), control_id)

    def events(self):
        with open(self.log, "rb") as log:
            lines = log.read().decode("utf-8").splitlines()
        events = []
        for line in lines:
            kind, rest = line.split(" ", 1)
            if kind == "start":
                tag, pid, ppid, nargs, time, cwd = rest.split(" ", 5)
                events.append(Event(kind, tag, int(pid), int(ppid), int(nargs), float(time), cwd))
            else:
                tag, pid, *value = rest.split(" ", 2)
                events.append(Event(kind, tag, int(pid), value=value[0] if value else None))
        return events

    def arguments(self, tag):
        """The arguments of each run of the program logged as `tag` (with
        RECORDS_ARGS), in the order of the runs."""
        runs = collections.OrderedDict()
        for event in self.events():
            if event.tag == tag and event.kind == "start":
                runs[event.pid] = []
            elif event.tag == tag and event.kind == "arg":
                runs.setdefault(event.pid, []).append(event.value)
        return list(runs.values())

    def starts(self, tag=None):
        return [e for e in self.events() if e.kind == "start" and (tag is None or e.tag == tag)]

    def recorded_pids(self):
        return {e.pid for e in self.events() if e.kind == "start"}
