#include "firmware/UpdateOutcome.h"

namespace kx {

namespace {

QString messageName(const UpdateEnd& end)
{
    switch (end.step) {
    case AwaitedReply::Enter:
        return QStringLiteral("the enter message");
    case AwaitedReply::Line:
        return QStringLiteral("line %1 of %2").arg(end.line).arg(end.total);
    case AwaitedReply::End:
        return QStringLiteral("the end message");
    case AwaitedReply::None:
        break;
    }
    return QStringLiteral("the first message");
}

} // namespace

// What went wrong, before what it may have left in the indicator.
static QString failureDetail(const UpdateEnd& end);

QString updateLabel(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Completed:
        return QStringLiteral("Transfer Complete!!");
    case Outcome::Cancelled:
        return QStringLiteral("Update stopped.");
    case Outcome::FileRejected:
        return QStringLiteral("Update File Error");
    case Outcome::BackupFailed:
        return QStringLiteral("Backup Failed");
    case Outcome::NotAsSent:
    case Outcome::Refused:
    case Outcome::NoAnswer:
    case Outcome::LineFailed:
        break;
    }
    return QStringLiteral("Transfer Failed!");
}

QString updateDetail(const UpdateEnd& end)
{
    QString detail = failureDetail(end);
    if (end.outcome != Outcome::Completed && end.linesSent)
        detail += QStringLiteral(" The KX7400 may hold a partial firmware: run the update again "
                                 "before using it.");
    return detail.trimmed();
}

static QString failureDetail(const UpdateEnd& end)
{
    const QString reason = end.reason.isEmpty() ? QString() : QStringLiteral(": ") + end.reason;
    switch (end.outcome) {
    case Outcome::Completed:
        return {};
    case Outcome::Refused:
        if (end.step == AwaitedReply::Enter)
            return QStringLiteral("The loader refused the enter message.");
        return QStringLiteral("The loader refused %1 five times.").arg(messageName(end));
    case Outcome::NoAnswer:
        return QStringLiteral("No answer from the loader to %1.").arg(messageName(end));
    case Outcome::LineFailed:
        return QStringLiteral("The loader port failed while sending %1%2.")
            .arg(messageName(end), reason);
    case Outcome::Cancelled:
        return QStringLiteral("Stopped while sending %1.").arg(messageName(end));
    case Outcome::FileRejected:
        return QStringLiteral("The update file was refused%1.").arg(reason);
    case Outcome::BackupFailed:
        return QStringLiteral("The indicator's setup could not be saved, so nothing was sent%1.")
            .arg(reason);
    case Outcome::NotAsSent:
        break;
    }
    return {};
}

} // namespace kx
