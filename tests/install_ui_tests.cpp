// What the install adds on the window's side: the theme icons and the
// Windows .ico rendered at build time from the icon the window draws, and
// q8loader's own arguments.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QString>
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

QImage ThemeIcon(int size) {
    return QImage(QStringLiteral(Q8_ICON_DIR "/%1x%1/apps/q8loader.png").arg(size));
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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

// Each image, as an icon reader finds it, is the theme's picture of its size.
TEST(WindowsIcon, HoldsEveryThemeSize) {
    QImageReader reader(QStringLiteral(Q8_ICO_FILE), "ico");
    ASSERT_EQ(reader.imageCount(), static_cast<int>(std::size(THEME_SIZES)));
    for (const int size : THEME_SIZES) {
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(image, ThemeIcon(size).convertToFormat(QImage::Format_ARGB32)) << size;
        reader.jumpToNextImage();
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
