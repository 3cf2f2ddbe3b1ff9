#pragma once

#include <QStringList>
#include <QWidget>

class QListWidget;

namespace kx {

// Holder of the per-model output mode lists. It is made at start-up and never shown; the
// parameter editor reads the KX7400 lists from it each time it is shown.
class TListsForm : public QWidget
{
    Q_OBJECT
public:
    explicit TListsForm(QWidget* parent = nullptr);

    QStringList kx7400Mode1() const;
    QStringList kx7400Mode2() const;
    QStringList kx7450Mode1() const;
    QStringList kx7450Mode2() const;

private:
    QListWidget* addList(const QString& name, const QStringList& items);
    static QStringList itemsOf(const QListWidget* list);

    QListWidget* KX7400Mode1List;
    QListWidget* KX7400Mode2List;
    QListWidget* KX7450Mode1List;
    QListWidget* KX7450Mode2List;
};

} // namespace kx
