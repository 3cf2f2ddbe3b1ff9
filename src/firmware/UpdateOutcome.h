#pragma once

#include "link/Outcome.h"

#include <QString>

namespace kx {

// What the last fresh message to the loader was, so a reply knows what it answers.
enum class AwaitedReply
{
    None,
    Enter,
    Line,
    End
};

// One run of a firmware update's end (each run has exactly one), with what the texts need.
struct UpdateEnd
{
    Outcome outcome = Outcome::Cancelled;
    // The message the loader failed to take.
    AwaitedReply step = AwaitedReply::None;
    // The line (from 1) when step is Line, and the image's lines.
    int line = 0;
    int total = 0;
    // The port's or the file's own words, where there are some.
    QString reason;
    // A line of the image had gone out: a run that did not complete may have left part of a
    // new firmware in the indicator.
    bool linesSent = false;
};

// The label the progress panel shows for an end: the texts of the update window.
QString updateLabel(Outcome outcome);
// What went wrong, in a line under the label; empty for a completed update.
QString updateDetail(const UpdateEnd& end);

} // namespace kx
