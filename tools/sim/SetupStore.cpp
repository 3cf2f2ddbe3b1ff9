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
        records_ = records;
    }
    return v;
}

} // namespace kx::sim
