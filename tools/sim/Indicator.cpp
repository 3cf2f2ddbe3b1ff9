#include "Indicator.h"

#include "Frames.h"

#include <QDateTime>

namespace kx::sim {

namespace {

constexpr char Stx = 0x02;
constexpr char Eot = 0x04;
constexpr char Enq = 0x05;
constexpr char Ack = 0x06;
constexpr char Bel = 0x07;
constexpr char Cr = 0x0D;
constexpr char Nak = 0x15;
constexpr char PcMode[] = "pcmode";
constexpr int PcModeLength = 6;
constexpr int MaxTareText = 16;

QString hex2(quint8 b)
{
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

Indicator::Indicator(const Config& config, Line& line, SimLog& log, Faults& faults,
                     WeightModel& scale, SetupStore& setup, TimePoint now)
    : config_(config), line_(line), log_(log), faults_(faults), scale_(scale), setup_(setup),
      lastActivity_(now), nextFrame_(now), reloadEnd_(now)
{
}

milliseconds Indicator::framePeriod() const
{
    return milliseconds(static_cast<qint64>(1000.0 / config_.rateHz));
}

void Indicator::enter(Mode mode, TimePoint now)
{
    mode_ = mode;
    lastActivity_ = now;
    pcmodeMatched_ = 0;
    enterMatched_.clear();
    tare_.reset();
    if (mode == Mode::Panel)
        nextFrame_ = now;
}

void Indicator::reply(const QByteArray& bytes, TimePoint now)
{
    line_.send(bytes, Tx::Reply, now);
}

bool Indicator::answer(bool accept, const QString& what, TimePoint now)
{
    if (accept && faults_.takeRefuseNext()) {
        accept = false;
        log_.note(QStringLiteral("%1: refused as the script asked").arg(what));
    } else {
        log_.note(QStringLiteral("%1: %2").arg(what, accept ? QStringLiteral("accepted")
                                                            : QStringLiteral("refused")));
    }
    reply(QByteArray(1, accept ? Ack : Nak), now);
    return accept;
}

void Indicator::sendFrame(Tx kind, TimePoint now)
{
    line_.send(frames::frame(scale_.reading(now)), kind, now);
    faults_.frameSent();
    if (faults_.noise)
        line_.send(faults_.noiseBytes(), Tx::Noise, now);
}

void Indicator::onBytes(const QByteArray& bytes, TimePoint now)
{
    for (const char c : bytes) {
        switch (mode_) {
        case Mode::Panel:
            panelByte(c, now);
            break;
        case Mode::Loader:
            loaderByte(c, now);
            break;
        case Mode::Reloading:
            break;
        default:
            pcByte(c, now);
            break;
        }
    }
}

// "pcmode" and the loader's enter message are understood in the front panel and while PC
// mode waits for a command (the program repeats "pcmode" until it hears the ACK). Returns
// true when the byte belonged to one of them.
bool Indicator::entryByte(char c, TimePoint now)
{
    if (!enterMatched_.isEmpty()) {
        enterMatched_ += c;
        const QByteArray want = loader::enterPayload();
        if (enterMatched_.size() <= want.size()) {
            if (want.startsWith(enterMatched_))
                return true;
        } else {
            const auto check = static_cast<quint8>(c);
            enterMatched_.clear();
            const bool good = check == loader::checkByte(want);
            if (answer(good, QStringLiteral("loader enter message, check byte %1").arg(hex2(check)),
                       now)) {
                enter(Mode::Loader, now);
                log_.note(QStringLiteral("in the bootstrap loader"));
            }
            return true;
        }
        enterMatched_.clear();
    }
    if (pcmodeMatched_ > 0) {
        if (c == PcMode[pcmodeMatched_]) {
            if (++pcmodeMatched_ == PcModeLength) {
                pcmodeMatched_ = 0;
                if (answer(true, QStringLiteral("pcmode"), now))
                    enter(Mode::PcCommand, now);
            }
            return true;
        }
        pcmodeMatched_ = 0;
    }
    if (c == Stx) {
        enterMatched_ = QByteArray(1, c);
        return true;
    }
    if (c == PcMode[0]) {
        pcmodeMatched_ = 1;
        return true;
    }
    return false;
}

// The tare entry: "T", the value, CR. A byte that cannot be part of a value abandons it.
bool Indicator::tareByte(char c, TimePoint now)
{
    if (!tare_)
        return false;
    if (c == Cr) {
        if (scale_.setTare(*tare_, now))
            log_.note(QStringLiteral("tare %1").arg(QString::fromLatin1(*tare_)));
        else
            log_.note(QStringLiteral("tare \"%1\" is not a number; ignored")
                          .arg(QString::fromLatin1(*tare_)));
        tare_.reset();
        return true;
    }
    const bool valuePart = (c >= '0' && c <= '9') || c == '.' || c == '-' || c == ' ';
    if (valuePart && tare_->size() < MaxTareText) {
        *tare_ += c;
        return true;
    }
    log_.note(QStringLiteral("tare entry abandoned"));
    tare_.reset();
    return false;
}

void Indicator::panelByte(char c, TimePoint now)
{
    if (tareByte(c, now) || entryByte(c, now))
        return;
    switch (c) {
    case 'U':
        scale_.cycleUnits();
        log_.note(QStringLiteral("units %1")
                      .arg(QLatin1String(WeightModel::name(scale_.units())).trimmed()));
        break;
    case 'Z':
        scale_.zero(now);
        log_.note(QStringLiteral("zero"));
        break;
    case 'G':
        scale_.toggleNet();
        log_.note(scale_.reading(now).showNet ? QStringLiteral("net") : QStringLiteral("gross"));
        break;
    case 'A':
        scale_.autoTare(now);
        log_.note(QStringLiteral("auto tare"));
        break;
    case 'P':
        log_.note(QStringLiteral("ticket: %1")
                      .arg(QString::fromLatin1(
                          frames::ticket(scale_.reading(now), QDateTime::currentDateTime()))));
        break;
    case 'T':
        tare_ = QByteArray();
        tareStarted_ = now;
        break;
    case Bel:
        log_.note(QStringLiteral("enter"));
        break;
    case Enq:
        reply(frames::debugLine(scale_.reading(now), ++debugSeq_), now);
        break;
    case Cr:
        if (config_.frameMode == FrameMode::Demand)
            sendFrame(Tx::DemandFrame, now);
        break;
    default: // "?" and anything unknown: nothing to do
        break;
    }
}

void Indicator::pcByte(char c, TimePoint now)
{
    lastActivity_ = now;
    switch (mode_) {
    case Mode::PcCollect:
        if (c == Eot) {
            downloadComplete(now);
        } else if (download_.size() < MaxDownload) {
            download_ += c;
        } else {
            downloadOverflow_ = true;
        }
        return;
    case Mode::PcUploadSent:
        if (c == Ack || c == Nak) {
            leavePcMode(c == Ack ? QStringLiteral("the program accepted the upload")
                                 : QStringLiteral("the program refused the upload"),
                        now);
            return;
        }
        break;
    case Mode::PcAwaitStx:
        if (c == Stx) {
            download_.clear();
            downloadOverflow_ = false;
            mode_ = Mode::PcCollect;
            return;
        }
        break;
    default:
        break;
    }
    if (entryByte(c, now))
        return;
    if (mode_ == Mode::PcAwaitStx || mode_ == Mode::PcUploadSent)
        return;
    if (c == 'u') {
        log_.note(QStringLiteral("upload"));
        QByteArray text(1, Stx);
        text += setup_.uploadText(QDateTime::currentDateTime());
        text += Eot;
        reply(text, now);
        mode_ = Mode::PcUploadSent;
    } else if (c == 'd') {
        log_.note(QStringLiteral("download"));
        if (faults_.silentOnDownload) {
            log_.note(QStringLiteral("hanging: silent for good"));
            faults_.silenceFor(-1, now);
        }
        reply("ready", now);
        mode_ = Mode::PcAwaitStx;
    }
}

void Indicator::downloadComplete(TimePoint now)
{
    if (faults_.takeAbortNext()) {
        // The indicator's own answer when its operator aborts a download in progress.
        log_.note(QStringLiteral("download aborted: answered \"ready\""));
        reply("ready", now);
    } else if (downloadOverflow_) {
        answer(false, QStringLiteral("download of more than %1 bytes").arg(MaxDownload), now);
    } else {
        const layout::Verdict v = setup_.takeDownload(download_);
        if (!v.ok)
            log_.note(QStringLiteral("download malformed: %1").arg(v.reason));
        else if (faults_.storeMs > 0)
            log_.note(QStringLiteral("storing the setup for %1 ms").arg(faults_.storeMs));
        answer(v.ok, QStringLiteral("download"),
               v.ok ? now + milliseconds(faults_.storeMs) : now);
    }
    download_.clear();
    leavePcMode(QStringLiteral("download ended"), now);
}

void Indicator::leavePcMode(const QString& why, TimePoint now)
{
    log_.note(QStringLiteral("leaving PC mode: %1").arg(why));
    enter(Mode::Panel, now);
}

void Indicator::loaderByte(char c, TimePoint now)
{
    lastActivity_ = now;
    if (const auto m = collector_.feed(c))
        loaderMessage(*m, now);
}

void Indicator::loaderMessage(const loader::Message& m, TimePoint now)
{
    const quint8 want = loader::checkByte(m.payload);
    const bool checkOk = m.check == want;
    const QString checkNote =
        QStringLiteral("check byte %1, expected %2").arg(hex2(m.check), hex2(want));
    switch (m.kind) {
    case loader::Kind::Enter:
        if (m.payload != loader::enterPayload() || !checkOk)
            answer(false, QStringLiteral("malformed enter message, %1").arg(checkNote), now);
        else
            answer(true, QStringLiteral("loader enter message (again)"), now);
        return;
    case loader::Kind::End:
        if (!checkOk) {
            answer(false, QStringLiteral("end message, %1").arg(checkNote), now);
            return;
        }
        if (!answer(true, QStringLiteral("end message"), now))
            return;
        reloadEnd_ = now + config_.reload;
        enter(Mode::Reloading, now);
        log_.note(QStringLiteral("reloading for %1 ms").arg(config_.reload.count()));
        return;
    case loader::Kind::Overlong:
        answer(false,
               QStringLiteral("loader message of more than %1 bytes without CR LF")
                   .arg(loader::Collector::MaxMessage),
               now);
        return;
    case loader::Kind::Line:
        break;
    }
    const QByteArray text = m.payload.chopped(2);
    if (faults_.refuseLine()) {
        log_.note(QStringLiteral("line refused (every %1th)").arg(faults_.nakEvery));
        reply(QByteArray(1, Nak), now);
        return;
    }
    if (!checkOk) {
        answer(false, QStringLiteral("line, %1").arg(checkNote), now);
        return;
    }
    QString why;
    // An empty line carries nothing to program; the loader lets it pass.
    if (!text.isEmpty() && !loader::hexRecordValid(text, &why)) {
        answer(false, QStringLiteral("line \"%1\" %2").arg(QString::fromLatin1(text), why), now);
        return;
    }
    // Each line the loader takes is in the log, so a test can see what was programmed and in
    // what order; the same line again (a resend whose first copy was taken) says so.
    const bool again = text == lastLoaderLine_;
    if (answer(true, QStringLiteral("line"), now)) {
        log_.note(QStringLiteral("took %1%2").arg(QString::fromLatin1(text),
                                                  again ? QStringLiteral(" (again)") : QString()));
        lastLoaderLine_ = text;
    }
}

void Indicator::tick(TimePoint now)
{
    switch (mode_) {
    case Mode::Panel:
        if (tare_ && now - tareStarted_ > TareStale) {
            log_.note(QStringLiteral("tare entry timed out"));
            tare_.reset();
        }
        if (config_.frameMode == FrameMode::Continuous && now >= nextFrame_) {
            // A line slower than the frame rate drops frames rather than falling behind.
            if (line_.queued() < 2 * (frames::FrameLength + 1))
                sendFrame(Tx::Frame, now);
            nextFrame_ += framePeriod();
            if (nextFrame_ < now)
                nextFrame_ = now + framePeriod();
        }
        return;
    case Mode::Loader:
        if (collector_.pending() && now - lastActivity_ > LoaderStale) {
            log_.note(QStringLiteral("loader dropped an unfinished message: %1")
                          .arg(QString::fromLatin1(SimLog::readable(collector_.discard()))));
        }
        if (now - lastActivity_ > LoaderIdle) {
            log_.note(QStringLiteral("loader idle; back to weighing"));
            enter(Mode::Panel, now);
        }
        return;
    case Mode::Reloading:
        if (now >= reloadEnd_) {
            log_.note(QStringLiteral("restarted"));
            enter(Mode::Panel, now);
        }
        return;
    default:
        // The upload itself may take a while to cross a slow line; that is no silence.
        if (line_.queued() > 0)
            lastActivity_ = now;
        if (now - lastActivity_ > config_.pcTimeout)
            leavePcMode(QStringLiteral("timed out"), now);
        return;
    }
}

TimePoint Indicator::nextWake(TimePoint now) const
{
    TimePoint wake = now + milliseconds(200);
    switch (mode_) {
    case Mode::Panel:
        if (config_.frameMode == FrameMode::Continuous)
            wake = std::min(wake, nextFrame_);
        break;
    case Mode::Reloading:
        wake = std::min(wake, reloadEnd_);
        break;
    default:
        break;
    }
    return wake;
}

void Indicator::setFrameMode(FrameMode mode, TimePoint now)
{
    config_.frameMode = mode;
    nextFrame_ = now;
}

bool Indicator::setRate(double hz)
{
    if (!(hz > 0 && hz <= 1000))
        return false;
    config_.rateHz = hz;
    return true;
}

void Indicator::reset(TimePoint now)
{
    collector_.discard();
    download_.clear();
    enter(Mode::Panel, now);
    log_.note(QStringLiteral("reset"));
}

QByteArray Indicator::describe(TimePoint now)
{
    static const char* const modeNames[] = {"panel",      "pc-command", "pc-upload", "pc-ready",
                                            "pc-collect", "loader",     "reloading"};
    const Reading r = scale_.reading(now);
    QByteArray s = "state mode=";
    s += modeNames[static_cast<int>(mode_)];
    s += config_.frameMode == FrameMode::Demand ? " frames=demand" : " frames=continuous";
    s += " weight=\"" + frames::weightText(r.shown(), r.units, r.overload) + '"';
    s += " stable=" + QByteArray::number(r.stable ? 1 : 0);
    s += " units=" + QByteArray(WeightModel::name(r.units)).trimmed();
    s += r.showNet ? " display=NT" : " display=GR";
    s += " tare=" + frames::weightText(r.tare, r.units).trimmed();
    s += " sent=" + QByteArray::number(faults_.framesSent());
    s += " outputs=" + QByteArray::number(setup_.outputs());
    return s;
}

} // namespace kx::sim
