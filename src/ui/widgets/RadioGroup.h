#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

// A captioned group of radio buttons laid out in columns, with the index of
// the checked item (-1 when none is checked).
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& caption, const QStringList& items, int columns = 1,
               QWidget* parent = nullptr);

    int itemIndex() const;
    void setItemIndex(int index); // -1 unchecks every item
    QRadioButton* button(int index) const;
    int count() const;

signals:
    void itemIndexChanged(int index);

private:
    QButtonGroup* group_;
};
