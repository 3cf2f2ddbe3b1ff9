#include "Frames.h"

namespace kx::sim::frames {

QByteArray weightText(double value, Units units, bool overload)
{
    const QByteArray text = QByteArray::number(value, 'f', WeightModel::decimals(units));
    if (overload || text.size() > 7)
        return QByteArrayLiteral(" OVERLD");
    return text.rightJustified(7, ' ');
}

QByteArray frame(const Reading& reading)
{
    QByteArray f = weightText(reading.shown(), reading.units, reading.overload);
    f += (reading.stable && !reading.overload) ? '_' : ' ';
    f += WeightModel::name(reading.units);
    f += ' ';
    f += reading.showNet ? "NT" : "GR";
    f += "    ";
    Q_ASSERT(f.size() == FrameLength);
    f += Eot;
    return f;
}

QByteArray debugLine(const Reading& reading, int seq)
{
    const char* units = WeightModel::name(reading.units);
    QByteArray line = "FB node=1 seq=" + QByteArray::number(seq);
    line += " gross=" + weightText(reading.gross, reading.units).trimmed();
    line += " tare=" + weightText(reading.tare, reading.units).trimmed();
    line += " net=" + weightText(reading.net, reading.units).trimmed();
    line += QByteArray(" units=") + QByteArray(units).trimmed();
    line += reading.stable ? " stable" : " motion";
    line += '\r';
    return line;
}

QByteArray ticket(const Reading& reading, const QDateTime& when)
{
    const QByteArray units = QByteArray(WeightModel::name(reading.units)).trimmed();
    QByteArray t = when.toString(QStringLiteral("MM/dd/yy hh:mm:ss")).toLatin1();
    t += " GROSS " + weightText(reading.gross, reading.units).trimmed() + ' ' + units;
    t += " TARE " + weightText(reading.tare, reading.units).trimmed() + ' ' + units;
    t += " NET " + weightText(reading.net, reading.units).trimmed() + ' ' + units;
    return t;
}

} // namespace kx::sim::frames
