#include "ComboBoxes.h"

#include <QComboBox>
#include <QLineEdit>

void ComboBoxes::takeTypedTextAsIs(QComboBox* box)
{
    box->setCompleter(nullptr);
    box->setInsertPolicy(QComboBox::NoInsert);
    // The combo box itself looks up typed text on Return and when its line edit loses focus,
    // and activates an entry that matches.
    QObject::disconnect(box->lineEdit(), &QLineEdit::returnPressed, box, nullptr);
    QObject::disconnect(box->lineEdit(), &QLineEdit::editingFinished, box, nullptr);
}
