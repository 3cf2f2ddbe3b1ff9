#include "Script.h"

#include "SimOptions.h"

#include <cmath>

namespace kx::sim {

namespace {

QByteArray error(const QString& why)
{
    return "error: " + why.toLocal8Bit();
}

bool flag(const QByteArray& arg, bool* value)
{
    if (arg == "1" || arg == "on") {
        *value = true;
        return true;
    }
    if (arg == "0" || arg == "off") {
        *value = false;
        return true;
    }
    return false;
}

bool wholeNumber(const QByteArray& arg, qint64 low, qint64 high, qint64* value)
{
    bool ok = false;
    *value = arg.toLongLong(&ok);
    return ok && *value >= low && *value <= high;
}

} // namespace

QByteArray Script::run(const QByteArray& command, TimePoint now, bool* quit)
{
    const QList<QByteArray> words = command.simplified().split(' ');
    const QByteArray verb = words.value(0).toLower();
    const QByteArray arg = words.value(1);
    const QByteArray ok = "ok";
    bool on = false;
    qint64 n = 0;

    if (verb.isEmpty())
        return error(QStringLiteral("empty command"));
    if (verb == "quit" || verb == "exit") {
        *quit = true;
        return ok;
    }
    if (verb == "help")
        return scriptHelp().replace(QLatin1Char('\n'), QLatin1Char(' ')).simplified().toLocal8Bit();
    if (verb == "state")
        return indicator_.describe(now);
    if (verb == "weight") {
        bool good = false;
        const double v = arg.toDouble(&good);
        if (!good || !std::isfinite(v))
            return error(QStringLiteral("weight wants a number"));
        scale_.setGross(v, now);
        return ok;
    }
    if (verb == "stable" && flag(arg, &on)) {
        if (on)
            scale_.settleNow(now);
        else
            scale_.keepMoving(true, now);
        return ok;
    }
    if (verb == "units") {
        const QByteArray u = arg.toUpper();
        const Units all[] = {Units::LB, Units::KG, Units::OZ, Units::G};
        for (const Units candidate : all) {
            if (QByteArray(WeightModel::name(candidate)).trimmed() == u) {
                scale_.setUnits(candidate);
                return ok;
            }
        }
        return error(QStringLiteral("units are LB, KG, OZ or G"));
    }
    if (verb == "auto" && flag(arg, &on)) {
        scale_.setRandomLoads(on, now);
        return ok;
    }
    if (verb == "mode") {
        if (arg == "continuous")
            indicator_.setFrameMode(Indicator::FrameMode::Continuous, now);
        else if (arg == "demand")
            indicator_.setFrameMode(Indicator::FrameMode::Demand, now);
        else
            return error(QStringLiteral("mode is continuous or demand"));
        return ok;
    }
    if (verb == "rate") {
        bool good = false;
        if (!indicator_.setRate(arg.toDouble(&good)) || !good)
            return error(QStringLiteral("rate wants a number of frames per second up to 1000"));
        return ok;
    }
    if (verb == "silent" && wholeNumber(arg, -1, 3'600'000, &n)) {
        faults_.silenceFor(n, now);
        return ok;
    }
    if (verb == "noise" && flag(arg, &on)) {
        faults_.noise = on;
        return ok;
    }
    if (verb == "split" && flag(arg, &on)) {
        faults_.split = on;
        return ok;
    }
    if (verb == "pace" && flag(arg, &on)) {
        faults_.pace = on;
        return ok;
    }
    if (verb == "delay" && wholeNumber(arg, 0, 600'000, &n)) {
        faults_.delayMs = n;
        return ok;
    }
    if (verb == "nak-every" && wholeNumber(arg, 0, 1'000'000, &n)) {
        faults_.nakEvery = static_cast<int>(n);
        return ok;
    }
    if (verb == "nak-next") {
        faults_.refuseNext();
        return ok;
    }
    if (verb == "abort-next") {
        faults_.abortNext();
        return ok;
    }
    if (verb == "send") {
        const QByteArray hex = command.simplified().mid(verb.size()).replace(' ', QByteArray());
        const QByteArray bytes = QByteArray::fromHex(hex);
        if (hex.isEmpty() || hex.size() % 2 != 0 || bytes.toHex() != hex.toLower())
            return error(QStringLiteral("send wants hex bytes, e.g. \"send 06\" or \"send 0d0a\""));
        line_.send(bytes, Tx::Raw, now);
        return ok;
    }
    if (verb == "outputs" && (arg == "1" || arg == "2")) {
        setup_.reset(arg.toInt());
        return ok;
    }
    if (verb == "reset") {
        indicator_.reset(now);
        return ok;
    }
    return error(QStringLiteral("unknown command or bad argument \"%1\" (try \"help\")")
                     .arg(QString::fromLocal8Bit(command.trimmed())));
}

} // namespace kx::sim
