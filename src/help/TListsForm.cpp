#include "help/TListsForm.h"

#include "help/ModeLists.h"

#include <QListWidget>
#include <QVBoxLayout>

namespace kx {

TListsForm::TListsForm(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ListsForm"));
    setAccessibleDescription(QStringLiteral("ListsForm"));
    setWindowTitle(QStringLiteral("ListsForm"));
    setVisible(false);
    new QVBoxLayout(this);
    KX7400Mode1List = addList(QStringLiteral("KX7400Mode1List"), ModeLists::kx7400Mode1());
    KX7400Mode2List = addList(QStringLiteral("KX7400Mode2List"), ModeLists::kx7400Mode2());
    KX7450Mode1List = addList(QStringLiteral("KX7450Mode1List"), ModeLists::kx7450Mode1());
    KX7450Mode2List = addList(QStringLiteral("KX7450Mode2List"), ModeLists::kx7450Mode2());
}

QListWidget* TListsForm::addList(const QString& name, const QStringList& items)
{
    auto* list = new QListWidget(this);
    list->setObjectName(name);
    list->setAccessibleDescription(name);
    list->setAccessibleName(name);
    list->addItems(items);
    layout()->addWidget(list);
    return list;
}

QStringList TListsForm::itemsOf(const QListWidget* list)
{
    QStringList items;
    items.reserve(list->count());
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    return items;
}

QStringList TListsForm::kx7400Mode1() const
{
    return itemsOf(KX7400Mode1List);
}

QStringList TListsForm::kx7400Mode2() const
{
    return itemsOf(KX7400Mode2List);
}

QStringList TListsForm::kx7450Mode1() const
{
    return itemsOf(KX7450Mode1List);
}

QStringList TListsForm::kx7450Mode2() const
{
    return itemsOf(KX7450Mode2List);
}

} // namespace kx
