#include "app/sbTexts.h"

#include "devices/sbResConst.h"

QString ResText(int id) {
    return QString::fromStdString(LoadResString(id));
}
