#pragma once

#include "settings/SettingsRecord.h"

#include <QString>

namespace kx {

// Why the editor is being filled: a new record also brings the first pages to the front.
enum class FillReason
{
    LoadedFile,
    NewRecord
};

// What the document operations need from the parameter editor window. The window holds the
// record in its controls; the operations move records in and out through this interface.
class SettingsEditorView
{
public:
    virtual ~SettingsEditorView() = default;

    // The record as the controls hold it; the custom outputs are the two definition lists as
    // kept.
    virtual SettingsRecord record() const = 0;
    // Fills every control from the record (the date box shows today, the builder loads COM1's
    // definition, the ticket page follows); false when some value could not be applied. The
    // filling is not an edit: it marks nothing changed.
    virtual bool showRecord(const SettingsRecord& record, FillReason reason) = 0;
    // Stores the custom output builder's controls into the definition of the port it shows, so
    // a save carries edits the definition lists do not hold yet.
    virtual void storeShownDefinition() = 0;

    virtual bool changed() const = 0; // the changed flag
    virtual void setChanged(bool on) = 0;
    virtual bool keptChanges() const = 0; // the kept-changes flag (edits before a port switch)
    virtual void setKeptChanges(bool on) = 0;

    virtual void setCaption(const QString& caption) = 0;  // the window caption
    virtual void setBusy(bool busy) = 0;                  // busy cursor on or off
    virtual void showErrorPanel(const QString& text) = 0; // the red error panel with that text
};

} // namespace kx
