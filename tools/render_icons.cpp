// Renders the program icon the window draws (q8ui::ProgramIcon) at build
// time, so the installed icons and the window's own cannot drift apart: the
// hicolor theme's PNGs for Linux desktops, and the .ico the Windows programs
// carry as a resource. The window draws every theme size itself; any other
// size is scaled from the nearest larger drawing.
// Usage: render-icons OUT_DIR SIZE...        writes OUT_DIR/NxN/apps/q8loader.png
//        render-icons --ico FILE SIZE...     writes one .ico with an image a size

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "ui/ProgramIcon.h"

namespace {

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;
// Bounds a size argument; theme sizes stop well below it.
constexpr int LARGEST_ICON = 1024;
// An .ico entry stores its width and height in one byte each; 0 means 256,
// and nothing larger fits.
constexpr int LARGEST_ICO_ENTRY = 256;
constexpr int ICO_SIZE_BYTE_FOR_256 = 0;

// The .ico container: a header, one directory entry per image, then each
// image's data. Windows Vista and later read PNG data in an entry, so each
// image is stored as the same PNG the theme gets.
constexpr uint16_t ICO_RESERVED = 0;
constexpr uint16_t ICO_TYPE_ICON = 1;
constexpr int ICO_HEADER_BYTES = 6;
constexpr int ICO_ENTRY_BYTES = 16;
constexpr uint8_t ICO_NO_PALETTE = 0;
constexpr uint8_t ICO_ENTRY_RESERVED = 0;
constexpr uint16_t ICO_PLANES = 1;
constexpr uint16_t ICO_BITS_PER_PIXEL = 32;  // ARGB

const QString ICO_OPTION = QStringLiteral("--ico");

// The icon as the window draws it at `size`; a size it is not drawn at is
// scaled from the nearest larger drawing.
QImage IconAt(const QIcon& icon, int size) {
    return icon.pixmap(size, size).toImage();
}

// The sizes named on the command line, each within 1..largest; nothing when
// one is not.
std::optional<std::vector<int>> ReadSizes(const QStringList& sizes, int largest) {
    std::vector<int> read;
    for (const QString& sizeText : sizes) {
        bool isNumber = false;
        const int size = sizeText.toInt(&isNumber);
        if (!isNumber || size < 1 || size > largest) {
            std::fprintf(stderr, "render-icons: bad size %s\n", qPrintable(sizeText));
            return std::nullopt;
        }
        read.push_back(size);
    }
    return read;
}

bool WriteIcon(const QImage& image, const QString& outDir, int size) {
    const QString folder = outDir + QStringLiteral("/%1x%1/apps").arg(size);
    return QDir().mkpath(folder) && image.save(folder + QStringLiteral("/q8loader.png"), "PNG");
}

// One PNG a size; returns the exit code.
int RenderSizes(const QIcon& icon, const QString& outDir, const std::vector<int>& sizes) {
    for (const int size : sizes) {
        if (!WriteIcon(IconAt(icon, size), outDir, size)) {
            std::fprintf(stderr, "render-icons: cannot write the %d px icon\n", size);
            return EXIT_FAILED;
        }
    }
    return EXIT_OK;
}

QByteArray PngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, "PNG") ? bytes : QByteArray();
}

// The .ico's numbers are little-endian.
void Append16(QByteArray& out, uint16_t value) {
    out.append(static_cast<char>(value & 0xff));
    out.append(static_cast<char>(value >> 8));
}

void Append32(QByteArray& out, uint32_t value) {
    Append16(out, static_cast<uint16_t>(value & 0xffff));
    Append16(out, static_cast<uint16_t>(value >> 16));
}

uint8_t IcoSizeByte(int size) {
    return size == LARGEST_ICO_ENTRY ? ICO_SIZE_BYTE_FOR_256 : static_cast<uint8_t>(size);
}

struct IcoImage {
    int size = 0;
    QByteArray png;
};

QByteArray IcoFile(const std::vector<IcoImage>& images) {
    QByteArray out;
    Append16(out, ICO_RESERVED);
    Append16(out, ICO_TYPE_ICON);
    Append16(out, static_cast<uint16_t>(images.size()));
    uint32_t offset = ICO_HEADER_BYTES + ICO_ENTRY_BYTES * static_cast<uint32_t>(images.size());
    for (const IcoImage& image : images) {
        out.append(static_cast<char>(IcoSizeByte(image.size)));  // width
        out.append(static_cast<char>(IcoSizeByte(image.size)));  // height
        out.append(static_cast<char>(ICO_NO_PALETTE));
        out.append(static_cast<char>(ICO_ENTRY_RESERVED));
        Append16(out, ICO_PLANES);
        Append16(out, ICO_BITS_PER_PIXEL);
        Append32(out, static_cast<uint32_t>(image.png.size()));
        Append32(out, offset);
        offset += static_cast<uint32_t>(image.png.size());
    }
    for (const IcoImage& image : images) {
        out.append(image.png);
    }
    return out;
}

// One .ico holding every size; returns the exit code.
int RenderIco(const QIcon& icon, const QString& path, const std::vector<int>& sizes) {
    std::vector<IcoImage> images;
    for (const int size : sizes) {
        IcoImage image{size, PngBytes(IconAt(icon, size))};
        if (image.png.isEmpty()) {
            std::fprintf(stderr, "render-icons: cannot encode the %d px icon\n", size);
            return EXIT_FAILED;
        }
        images.push_back(image);
    }
    const QByteArray bytes = IcoFile(images);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "render-icons: cannot write %s\n", qPrintable(path));
        return EXIT_FAILED;
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
    QStringList args = app.arguments();
    const bool ico = args.size() > 1 && args[1] == ICO_OPTION;
    if (ico) {
        args.removeAt(1);
    }
    if (args.size() < 3) {
        std::fprintf(stderr,
                     "usage: render-icons OUT_DIR SIZE...\n"
                     "       render-icons --ico FILE SIZE...\n");
        return EXIT_USAGE;
    }
    const std::optional<std::vector<int>> sizes =
        ReadSizes(args.mid(2), ico ? LARGEST_ICO_ENTRY : LARGEST_ICON);
    if (!sizes) {
        return EXIT_USAGE;
    }
    const QIcon icon = q8ui::ProgramIcon();
    return ico ? RenderIco(icon, args[1], *sizes) : RenderSizes(icon, args[1], *sizes);
}
