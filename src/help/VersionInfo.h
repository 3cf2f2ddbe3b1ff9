#pragma once

#include "help/VersionTable.h"

#include <QList>
#include <QString>

namespace kx {

// The program's own version data, queried by string path as a version resource is:
// "StringFileInfo\040904E4\CompanyName". The program reads the table the build generated;
// tests supply their own tables, or none.
class VersionInfo
{
public:
    // The string table the program's version data is kept under (US English, Windows-1252).
    static inline const QString StringTable = QStringLiteral("StringFileInfo\\040904E4\\");

    struct Value
    {
        enum class Status
        {
            Found,
            Missing,
            Failed // the data cannot be read; whoever asks stops asking
        };
        Status status = Status::Missing;
        QString text;
    };

    virtual ~VersionInfo() = default;

    // Whether the program carries version data at all.
    virtual bool present() const = 0;
    virtual Value query(const QString& path) const = 0;

    // The value of a string of the table above; empty when missing or unreadable.
    QString string(const QString& name) const;
};

// Version data held as a table of strings. Names are matched without regard to case, as
// version resources match them ("LegalTradeMarks" finds "LegalTrademarks").
class TableVersionInfo : public VersionInfo
{
public:
    // Without a table the program carries no version data.
    TableVersionInfo() = default;
    explicit TableVersionInfo(QList<VersionEntry> table) : table_(std::move(table)), present_(true)
    {
    }

    bool present() const override { return present_; }
    Value query(const QString& path) const override;

private:
    QList<VersionEntry> table_;
    bool present_ = false;
};

// The version data the build put into the program.
const VersionInfo& builtInVersionInfo();

// The main window's caption, made from the file version.
QString mainWindowCaption(const VersionInfo& info);

} // namespace kx
