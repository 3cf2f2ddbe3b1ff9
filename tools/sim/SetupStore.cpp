#include "SetupStore.h"

namespace kx::sim {

namespace {

// A new indicator's setup: the values a new settings record starts with, in the record
// layout (list indexes sent one higher where the layout says so).
const char* const Builtin[] = {
    "[CFG],1,2,1,1,0,0,0,0,\"Barrels\",1.0,1.0,0,1,3,3,1,2,02,3,1,1,2,1,1,3,1,2,2,",
    "[CAL],5000,1,4,4,1.0,1,2,",
    "[ANY],1,1,1,1,0,",
    "[420],0,5000,1,1,0,0,",
    "[TKT],t,10,8,d,12,8,G,14,8,T,16,8,N,18,8,",
    "[PRN],1,1,12,1,",
    "[CST],<A><B><C><G><T>,",
    "[CFM],0,0,0,6,0,0,0,0,1,0,0,4,0D,W<D>,2,02,3,0D,0,20,lb,kg,M,O,GR,TA,NT, ,I,",
};

// The second output starts with a different stream so a swapped section shows at once.
const char* const BuiltinSecond[] = {
    "[CS2],<W><S>[ ]<U>[ ]<M>[  ],",
    "[CF2],0,0,0,6,1,1,2,2,1,0,0,3,,W<D>,4,,1,,0,,lb,kg,m,o,g,t,n, , ,",
};

} // namespace

void SetupStore::reset(int outputs)
{
    outputs_ = outputs == 2 ? 2 : 1;
    records_.clear();
    for (const char* r : Builtin)
        records_ << QByteArray(r);
    if (outputs_ == 2) {
        for (const char* r : BuiltinSecond)
            records_ << QByteArray(r);
    }
}

QByteArray SetupStore::dateTimeRecord(const QDateTime& now)
{
    return "[TAD]," + now.toString(QStringLiteral("hh,mm,ss,MM,dd,yy,")).toLatin1();
}

QByteArray SetupStore::uploadText(const QDateTime& now) const
{
    QByteArray text;
    for (const QByteArray& r : records_)
        text += r + "\r\n";
    text += dateTimeRecord(now) + "\r\n";
    return text;
}

layout::Verdict SetupStore::takeDownload(const QByteArray& text)
{
    QList<QByteArray> records;
    const layout::Verdict v = layout::checkDownload(text, outputs_, &records);
    if (v.ok) {
        records.removeLast(); // [TAD] sets the clock; it is not part of the setup
        for (const Hold& h : std::as_const(holds_)) {
            for (qsizetype r = 0; r < records.size(); ++r) {
                if (!records[r].startsWith(h.tag))
                    continue;
                QList<QByteArray> fields = records[r].mid(h.tag.size()).split(',');
                if (h.field > fields.size())
                    continue;
                if (h.value) {
                    fields[h.field - 1] = *h.value;
                } else if (r < records_.size() && records_[r].startsWith(h.tag)) {
                    const QList<QByteArray> before = records_[r].mid(h.tag.size()).split(',');
                    if (h.field <= before.size())
                        fields[h.field - 1] = before[h.field - 1];
                }
                records[r] = h.tag + fields.join(',');
            }
        }
        records_ = records;
    }
    return v;
}

bool SetupStore::addHold(const QByteArray& text)
{
    const qsizetype close = text.indexOf("],");
    if (!text.startsWith('[') || close < 2)
        return false;
    Hold h;
    h.tag = text.left(close + 2);
    const QByteArray rest = text.mid(close + 2);
    const qsizetype eq = rest.indexOf('=');
    bool ok = false;
    h.field = (eq < 0 ? rest : rest.left(eq)).toInt(&ok);
    if (!ok || h.field < 1 || h.field > 64)
        return false;
    if (eq >= 0) {
        h.value = rest.mid(eq + 1);
        if (h.value->contains(',') || h.value->contains('\r') || h.value->contains('\n'))
            return false;
    }
    holds_.append(h);
    return true;
}

} // namespace kx::sim
