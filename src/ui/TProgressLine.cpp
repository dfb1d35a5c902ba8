#include "ui/TProgressLine.h"

void TProgressLine::SetTotal(int total)
{
    total_ = total;
    done_ = 0;
    errors_ = 0;
}

void TProgressLine::SetDone(int done)
{
    // The position falls back to 0 when a run ends: the count stays.
    if (done > 0)
        done_ = done;
    Draw();
}

void TProgressLine::SetErrors(int errors) { errors_ = errors; }

void TProgressLine::SetState(const QString& state)
{
    const bool changed = state != state_;
    state_ = state;
    Draw(changed);
}

QString TProgressLine::Text() const
{
    QString text = QStringLiteral("%1件/%2件  エラー %3件").arg(done_).arg(total_).arg(errors_);
    if (!state_.isEmpty())
        text += QStringLiteral("  ") + state_;
    if (!rest_.isEmpty())
        text += QStringLiteral("  残り ") + rest_;
    return text;
}

void TProgressLine::Draw(bool now)
{
    if (!now && shown_ && sinceDraw_.isValid() && sinceDraw_.elapsed() < 100)
        return;
    sinceDraw_.restart();
    shown_ = true;
    // Back to the start of the line, the text, then clear what an older, longer text left.
    std::fprintf(out_, "\r%s\x1b[K", Text().toUtf8().constData());
    std::fflush(out_);
}

void TProgressLine::Break()
{
    if (!shown_)
        return;
    Draw(true);
    std::fputc('\n', out_);
    std::fflush(out_);
    shown_ = false;
}
