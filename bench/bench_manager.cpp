// Times the construction of the extension manager window with five start
// lists of N identifiers each (every identifier has a name file), in a fresh
// working directory. Prints one JSON object per size on standard output.
//
//   bench_manager <workdir> <repeats> <size>...
//
// Run with QT_QPA_PLATFORM=offscreen.

#include "orva/manager/Addonsmanager.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char* const kLists[] = {"Listener", "Controller", "Runner", "Structure", "MainControllerExtension"};

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Extensions 10000000 .. 10000000+count-1, each with its name file.
bool createExtensions(const QString& root, int count)
{
    QDir dir(root);
    if (dir.exists() && !dir.removeRecursively())
        return false;
    if (!QDir().mkpath(root + QStringLiteral("/Start")) ||
        !QDir().mkpath(root + QStringLiteral("/Extensions")))
        return false;
    for (int i = 0; i < count; ++i) {
        const QByteArray id = QByteArray::number(10000000 + i);
        const QString folder = root + QStringLiteral("/Extensions/") + QString::fromLatin1(id);
        if (!QDir().mkpath(folder) ||
            !writeFile(folder + QStringLiteral("/ExtensionName.etn"), QByteArrayLiteral("Bench") + id))
            return false;
    }
    return true;
}

// The first `size` extensions, listed in all five start lists.
bool writeStartLists(const QString& root, int size)
{
    QByteArray list;
    for (int i = 0; i < size; ++i)
        list += QByteArray::number(10000000 + i) + '\n';
    for (const char* name : kLists) {
        if (!writeFile(root + QStringLiteral("/Start/") + QLatin1String(name) + QStringLiteral(".etl"), list))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_manager <workdir> <repeats> <size>...\n");
        return 1;
    }
    const QString root = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const int repeats = std::max(1, std::atoi(argv[2]));
    int largest = 0;
    for (int a = 3; a < argc; ++a)
        largest = std::max(largest, std::atoi(argv[a]));
    if (!createExtensions(root, largest)) {
        std::fprintf(stderr, "cannot prepare %s\n", qPrintable(root));
        return 1;
    }
    for (int a = 3; a < argc; ++a) {
        const int size = std::atoi(argv[a]);
        if (!writeStartLists(root, size)) {
            std::fprintf(stderr, "cannot prepare %s\n", qPrintable(root));
            return 1;
        }
        QDir::setCurrent(root);
        std::vector<double> ms;
        // One unmeasured run warms the file cache and Qt's lazy set-up.
        for (int r = 0; r <= repeats; ++r) {
            QElapsedTimer clock;
            clock.start();
            auto* window = new Addonsmanager;
            const qint64 ns = clock.nsecsElapsed();
            delete window;
            if (r > 0)
                ms.push_back(static_cast<double>(ns) / 1e6);
        }
        QDir::setCurrent(QDir::rootPath());
        std::sort(ms.begin(), ms.end());
        std::printf("{\"ids\": %d, \"median_ms\": %.3f, \"min_ms\": %.3f, \"max_ms\": %.3f}\n", size,
                    ms[ms.size() / 2], ms.front(), ms.back());
        std::fflush(stdout);
    }
    QDir(root).removeRecursively();
    return 0;
}
