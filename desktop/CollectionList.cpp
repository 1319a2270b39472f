#include "CollectionList.h"

#include <QComboBox>

namespace desktop {

void fillList(QComboBox* list, capture::CaptureCollection& collection)
{
    capture::forEachItem(collection, [list](capture::CaptureItem& item) {
        list->addItem(QString::fromStdString(capture::toText(item.name())));
    });
    if (list->count() > 0)
        list->setCurrentIndex(0);
}

std::int16_t indexOfName(capture::CaptureCollection& collection, const QString& name)
{
    return capture::toInt16(collection.indexOf(capture::Value::text(name.toStdString())));
}

}  // namespace desktop
