// veldo-grab OUT.png [--timeout SECONDS]
//
// Saves the screen of the display it runs on ($DISPLAY, through xcb) as a PNG once the screen
// shows something other than one flat colour (a window was mapped and painted) and two more
// seconds have passed, waiting up to the time-out (default 30 s). Exits 0 with the image written; 1
// when the screen stayed blank (the last grab is still written, for a look); 2 on bad arguments or
// no display.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

namespace {

// More than one colour among a grid of samples: something was painted.
bool showsSomething(const QImage& image)
{
    if (image.isNull())
        return false;
    const QRgb first = image.pixel(0, 0);
    constexpr int kSteps = 48;
    for (int i = 1; i < kSteps; ++i) {
        for (int j = 1; j < kSteps; ++j) {
            const int x = image.width() * i / kSteps;
            const int y = image.height() * j / kSteps;
            if (image.pixel(x, y) != first)
                return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    std::string out;
    int timeoutSeconds = 30;
    bool usable = true;
    for (int i = 1; i < argc && usable; ++i) {
        const std::string argument = argv[i];
        if (argument == "--timeout" && i + 1 < argc)
            timeoutSeconds = std::atoi(argv[++i]);
        else if (out.empty() && !argument.starts_with("--"))
            out = argument;
        else
            usable = false;
    }
    if (!usable || out.empty() || timeoutSeconds < 0) {
        std::fprintf(stderr, "Usage: veldo-grab OUT.png [--timeout SECONDS]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "veldo-grab: no screen on this display\n");
        return 2;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    QImage image;
    for (;;) {
        image = screen->grabWindow(0).toImage();
        if (showsSomething(image) || std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    if (showsSomething(image)) {
        // The first frame may be a window still filling in: grab again once it has settled.
        std::this_thread::sleep_for(std::chrono::seconds(2));
        image = screen->grabWindow(0).toImage();
    }
    if (!image.save(QString::fromStdString(out), "PNG")) {
        std::fprintf(stderr, "veldo-grab: could not write %s\n", out.c_str());
        return 2;
    }
    if (!showsSomething(image)) {
        std::fprintf(stderr, "veldo-grab: the screen stayed blank for %d s\n", timeoutSeconds);
        return 1;
    }
    return 0;
}
