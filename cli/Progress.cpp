#include "cli/Progress.h"

#include <unistd.h>

#include <string>

namespace {
constexpr int kBarWidth = 30;

std::string duration(double seconds) {
    const long whole = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}
} // namespace

Progress::Progress(std::FILE* stream, int total)
    : stream_(stream), terminal_(::isatty(::fileno(stream)) != 0), total_(total),
      start_(std::chrono::steady_clock::now()) {}

void Progress::captioned(const QString& copy) {
    ++done_;
    if (terminal_) {
        draw();
        return;
    }
    std::fprintf(stream_, "[%d/%d] %s\n", done_, total_, copy.toLocal8Bit().constData());
    std::fflush(stream_);
}

void Progress::failed(const QString& failure) {
    ++done_;
    print(stream_, QStringLiteral("lumora caption: ") + failure);
    if (terminal_ && !barShown_)
        draw();
}

void Progress::print(std::FILE* out, const QString& line) {
    const bool redraw = barShown_;
    clearBar();
    std::fprintf(out, "%s\n", line.toLocal8Bit().constData());
    std::fflush(out);
    if (redraw)
        draw();
}

void Progress::tick() {
    if (terminal_ && done_ < total_)
        draw();
}

void Progress::finish() {
    if (barShown_) {
        std::fputc('\n', stream_);
        barShown_ = false;
    }
    std::fflush(stream_);
}

void Progress::clearBar() {
    if (barShown_) {
        std::fputs("\r\033[K", stream_);
        std::fflush(stream_);
        barShown_ = false;
    }
}

void Progress::draw() {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double rate = elapsed > 0 ? done_ / elapsed : 0;
    const int filled = total_ > 0 ? done_ * kBarWidth / total_ : kBarWidth;
    const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kBarWidth - filled), '-');
    const std::string left =
        rate > 0 ? duration((total_ - done_) / rate) + " left" : std::string("--:-- left");
    std::fprintf(stream_, "\r\033[K[%s] %d/%d  %.1f photos/s  %s", bar.c_str(), done_, total_, rate,
                 left.c_str());
    std::fflush(stream_);
    barShown_ = true;
}
