#include "forms/sbTexts.h"

#include "base/sbResConst.h"

QString ResText(int id) {
    return QString::fromStdString(LoadResString(id));
}
