#pragma once

#include <QString>

#include <chrono>
#include <cstdio>

// Progress of a run on standard error: on a terminal one line redrawn in
// place, a bar with the count, the rate and the time left; otherwise one
// plain line per photo done.
class Progress {
public:
    Progress(std::FILE* stream, int total);

    // A photo is done: `copy` was written, or `failure` says why not.
    void captioned(const QString& copy);
    void failed(const QString& failure);
    // Prints `line` and a newline on `out` (standard output or the stream
    // of the progress). On a terminal the bar is cleared first and drawn
    // again below the line, so the two never share a line.
    void print(std::FILE* out, const QString& line);
    // Redraws the bar (a terminal only), e.g. so the time left moves on.
    void tick();
    // Ends the bar's line.
    void finish();

    int done() const { return done_; }

private:
    void draw();
    void clearBar();

    std::FILE* stream_;
    bool terminal_;
    int total_;
    int done_ = 0;
    bool barShown_ = false;
    std::chrono::steady_clock::time_point start_;
};
