#include "settings/OutputDefinition.h"

namespace kx {

int OutputDefinition::find(const QByteArray& key) const
{
    for (int i = 0; i < lines_.size(); ++i)
        if (lines_[i].first.compare(key, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool OutputDefinition::hasKey(const QByteArray& key) const
{
    return find(key) >= 0;
}

QByteArray OutputDefinition::value(const QByteArray& key) const
{
    const int i = find(key);
    return i < 0 ? QByteArray() : lines_[i].second;
}

void OutputDefinition::setValue(const QByteArray& key, const QByteArray& value)
{
    const int i = find(key);
    if (i < 0)
        lines_.append({key, value});
    else
        lines_[i].second = value;
}

QByteArray OutputDefinition::toText() const
{
    QByteArray out;
    for (const Line& l : lines_)
        out += l.first + '=' + l.second + "\r\n";
    return out;
}

} // namespace kx
