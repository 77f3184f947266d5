// Renders the program icon the window draws (q8ui::ProgramIcon) into the
// hicolor theme's sizes at build time, so the installed icons and the
// window's own cannot drift apart. The window draws every theme size itself;
// any other size is scaled from the nearest larger drawing.
// Usage: render-icons OUT_DIR SIZE...   writes OUT_DIR/NxN/apps/q8loader.png

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QTemporaryDir>
#include <cstdio>

#include "ui/ProgramIcon.h"

namespace {

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;
// Bounds a size argument; theme sizes stop well below it.
constexpr int LARGEST_ICON = 1024;

// The icon as the window draws it at `size`; a size it is not drawn at is
// scaled from the nearest larger drawing.
QImage IconAt(const QIcon& icon, int size) {
    return icon.pixmap(size, size).toImage();
}

bool WriteIcon(const QImage& image, const QString& outDir, int size) {
    const QString folder = outDir + QStringLiteral("/%1x%1/apps").arg(size);
    return QDir().mkpath(folder) && image.save(folder + QStringLiteral("/q8loader.png"), "PNG");
}

// One PNG a size named in `sizes`; returns the exit code.
int RenderSizes(const QIcon& icon, const QString& outDir, const QStringList& sizes) {
    for (const QString& sizeText : sizes) {
        bool isNumber = false;
        const int size = sizeText.toInt(&isNumber);
        if (!isNumber || size < 1 || size > LARGEST_ICON) {
            std::fprintf(stderr, "render-icons: bad size %s\n", qPrintable(sizeText));
            return EXIT_USAGE;
        }
        if (!WriteIcon(IconAt(icon, size), outDir, size)) {
            std::fprintf(stderr, "render-icons: cannot write the %d px icon\n", size);
            return EXIT_FAILED;
        }
    }
    return EXIT_OK;
}

}  // namespace

int main(int argc, char** argv) {
    // A build machine has no display; QPixmap needs a platform all the same.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Nor a login session: a private runtime folder keeps Qt from warning
    // about the missing one in every build log.
    QTemporaryDir runtimeDir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtimeDir.isValid()) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    }
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: render-icons OUT_DIR SIZE...\n");
        return EXIT_USAGE;
    }
    return RenderSizes(q8ui::ProgramIcon(), args[1], args.mid(2));
}
