// The program's numbered message texts as the windows use them.
#pragma once

#include <QString>

QString ResText(int id);
