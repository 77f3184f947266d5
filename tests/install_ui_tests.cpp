// What the install adds on the window's side: the theme icons and the
// Windows .ico rendered at build time from the icon the window draws, and
// q8loader's own arguments.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QString>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "ui/LoaderCommandLine.h"
#include "ui/ProgramIcon.h"

namespace {

// The hicolor sizes the package installs.
constexpr int THEME_SIZES[] = {16, 32, 48, 64, 128, 256};
// One of the sizes the window draws its icon at.
constexpr int DRAWN_SIZE = 256;
constexpr int OPAQUE = 255;

// The .ico's layout: a 6-byte header (0, 1, count), then a 16-byte entry an
// image (width, height with 0 for 256, ..., planes, bits, data size, data
// offset), all little-endian.
constexpr int ICO_HEADER_BYTES = 6;
constexpr int ICO_ENTRY_BYTES = 16;
constexpr int ICO_TYPE_AT = 2;
constexpr int ICO_COUNT_AT = 4;
constexpr int ENTRY_WIDTH_AT = 0;
constexpr int ENTRY_HEIGHT_AT = 1;
constexpr int ENTRY_PLANES_AT = 4;
constexpr int ENTRY_BITS_AT = 6;
constexpr int ENTRY_DATA_SIZE_AT = 8;
constexpr int ENTRY_DATA_AT = 12;
constexpr uint32_t ICO_TYPE_ICON = 1;
constexpr uint32_t ICO_PLANES = 1;
constexpr uint32_t ICO_BITS = 32;
constexpr int ICO_256_AS_BYTE = 0;
constexpr int ICO_LARGEST = 256;

QImage ThemeIcon(int size) {
    return QImage(QStringLiteral(Q8_ICON_DIR "/%1x%1/apps/q8loader.png").arg(size));
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

uint32_t Le(const QByteArray& bytes, int at, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
    }
    return value;
}

}  // namespace

TEST(ThemeIcons, DrawnSizeIsTheWindowsIconPixelForPixel) {
    const QImage installed = ThemeIcon(DRAWN_SIZE).convertToFormat(QImage::Format_ARGB32);
    const QImage window = q8ui::ProgramIcon()
                              .pixmap(DRAWN_SIZE, DRAWN_SIZE)
                              .toImage()
                              .convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(installed.isNull());
    EXPECT_EQ(installed, window);
}

// The corner is outside the cartridge's body; the middle is the label.
TEST(ThemeIcons, EverySizeIsSquareAndShowsThePicture) {
    for (const int size : THEME_SIZES) {
        const QImage icon = ThemeIcon(size);
        ASSERT_FALSE(icon.isNull()) << size;
        EXPECT_EQ(icon.width(), size);
        EXPECT_EQ(icon.height(), size);
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << size;
        EXPECT_EQ(qAlpha(icon.pixel(size / 2, size / 2)), OPAQUE) << size;
    }
}

// The Windows build links the committed file, not this tree's rendering: a
// new drawing must be committed too (`ninja windows-icon`).
TEST(WindowsIcon, CommittedFileIsTheRenderedOne) {
    const QByteArray rendered = FileBytes(QStringLiteral(Q8_ICO_FILE));
    ASSERT_FALSE(rendered.isEmpty());
    EXPECT_TRUE(rendered == FileBytes(QStringLiteral(Q8_COMMITTED_ICO)))
        << "packaging/windows/q8loader.ico differs from the drawing: run ninja windows-icon";
}

// Each entry names its size as Windows reads it and holds the theme's PNG.
TEST(WindowsIcon, HoldsEveryThemeSizeAsItsPng) {
    const QByteArray ico = FileBytes(QStringLiteral(Q8_ICO_FILE));
    const int count = static_cast<int>(std::size(THEME_SIZES));
    ASSERT_GE(ico.size(), ICO_HEADER_BYTES + ICO_ENTRY_BYTES * count);
    EXPECT_EQ(Le(ico, 0, 2), 0u);
    EXPECT_EQ(Le(ico, ICO_TYPE_AT, 2), ICO_TYPE_ICON);
    ASSERT_EQ(Le(ico, ICO_COUNT_AT, 2), static_cast<uint32_t>(count));
    for (int i = 0; i < count; ++i) {
        const int size = THEME_SIZES[i];
        const int entry = ICO_HEADER_BYTES + ICO_ENTRY_BYTES * i;
        const int sizeByte = size == ICO_LARGEST ? ICO_256_AS_BYTE : size;
        EXPECT_EQ(static_cast<uint8_t>(ico[entry + ENTRY_WIDTH_AT]), sizeByte) << size;
        EXPECT_EQ(static_cast<uint8_t>(ico[entry + ENTRY_HEIGHT_AT]), sizeByte) << size;
        EXPECT_EQ(Le(ico, entry + ENTRY_PLANES_AT, 2), ICO_PLANES) << size;
        EXPECT_EQ(Le(ico, entry + ENTRY_BITS_AT, 2), ICO_BITS) << size;
        const uint32_t dataSize = Le(ico, entry + ENTRY_DATA_SIZE_AT, 4);
        const uint32_t dataAt = Le(ico, entry + ENTRY_DATA_AT, 4);
        ASSERT_LE(static_cast<qsizetype>(dataAt + dataSize), ico.size()) << size;
        const QByteArray png =
            ico.mid(static_cast<qsizetype>(dataAt), static_cast<qsizetype>(dataSize));
        EXPECT_TRUE(png ==
                    FileBytes(QStringLiteral(Q8_ICON_DIR "/%1x%1/apps/q8loader.png").arg(size)))
            << size;
    }
}

TEST(LoaderArgs, HelpAndVersionAreFoundAmongQtOptions) {
    struct Case {
        std::vector<std::string> args;
        q8ui::LoaderRequest request;
    };
    using q8ui::LoaderRequest;
    const Case cases[] = {
        {{}, LoaderRequest::RUN},
        {{"--help"}, LoaderRequest::HELP},
        {{"-h"}, LoaderRequest::HELP},
        {{"--version"}, LoaderRequest::VERSION},
        {{"-platform", "offscreen", "--version"}, LoaderRequest::VERSION},
        {{"--version", "--help"}, LoaderRequest::VERSION},
        {{"--help", "--version"}, LoaderRequest::HELP},
        {{"--bogus"}, LoaderRequest::UNKNOWN},
        {{"file.bin"}, LoaderRequest::UNKNOWN},
        {{"--help=1"}, LoaderRequest::UNKNOWN},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(q8ui::ReadLoaderArgs(c.args), c.request)
            << (c.args.empty() ? std::string("(none)") : c.args.front());
    }
}
