// One live progress line on a terminal, for runs without a display: mails done
// and the total, the failed ones, the run-state text and the remaining time,
// rewritten in place.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include <cstdio>

class TProgressLine {
public:
    explicit TProgressLine(std::FILE* out) : out_(out) {}

    void SetTotal(int total);
    void SetDone(int done);
    void SetErrors(int errors);
    void SetRest(const QString& rest) { rest_ = rest; }
    void SetState(const QString& state);
    // Rewrites the line; at most ten times a second unless `now`.
    void Draw(bool now = false);
    // Ends the line so that other text (a message box's) starts on a line of its own.
    void Break();

    // The text of the line.
    QString Text() const;

private:
    std::FILE* out_;
    int total_ = 0, done_ = 0, errors_ = 0;
    QString state_, rest_;
    bool shown_ = false;
    QElapsedTimer sinceDraw_;
};
