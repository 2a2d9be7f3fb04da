// SPDX-License-Identifier: GPL-2.0-or-later
// A program folder of a test's own: a settings file and an art folder with
// pictures of known sizes, in a temporary folder the test owns.
#pragma once

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QTemporaryDir>

#include <initializer_list>
#include <utility>

class TTestProgramFolder {
public:
    TTestProgramFolder() { Q_ASSERT(m_dir.isValid()); }

    QString Path() const { return m_dir.path() + QLatin1Char('/'); }

    // Writes the product file with the given lines under [SYSTEM] (or raw
    // text), under the name Name.
    void WriteSettings(const QString& text,
                       const QString& name = QStringLiteral("product.ini")) const {
        QFile file(Path() + name);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write(text.toUtf8());
        }
    }

    // Writes an art folder sounds/ISORes<res>/ with every picture; the frame
    // is frameSize with its four corner pixels magenta. Leaves out the files
    // named in skip.
    QString WriteArt(const QString& res, QSize frameSize,
                     std::initializer_list<const char*> skip = {}) const {
        const QString folder = Path() + QStringLiteral("sounds/ISORes") + res + QLatin1Char('/');
        QDir().mkpath(folder);
        auto skipped = [&](const char* name) {
            for (const char* s : skip) {
                if (qstrcmp(s, name) == 0) {
                    return true;
                }
            }
            return false;
        };
        auto write = [&](const char* name, const QImage& image) {
            if (!skipped(name)) {
                image.save(folder + QString::fromLatin1(name));
            }
        };
        QImage frame(frameSize, QImage::Format_RGB32);
        frame.fill(QColor(0xE0, 0xE8, 0xF0));
        for (const QPoint corner :
             {QPoint(0, 0), QPoint(frameSize.width() - 1, 0), QPoint(0, frameSize.height() - 1),
              QPoint(frameSize.width() - 1, frameSize.height() - 1)}) {
            frame.setPixel(corner, qRgb(255, 0, 255));
        }
        write("toplogo.png", Solid({120, 30}, Qt::darkBlue));
        write("leftlogo.png", Solid({150, 200}, Qt::blue));
        write("main.bmp", frame);
        const char* const titleFiles[] = {"min_1.bmp",   "min_2.bmp",   "min_3.bmp",
                                          "close_1.bmp", "close_2.bmp", "close_3.bmp"};
        for (const char* f : titleFiles) {
            write(f, Solid({26, 22}, Qt::gray));
        }
        const QColor states[] = {Qt::white, Qt::cyan, Qt::darkCyan, Qt::lightGray};
        for (int i = 0; i < 4; ++i) {
            const QByteArray name = "bottom_" + QByteArray::number(i + 1) + ".bmp";
            write(name.constData(), Solid({88, 28}, states[i]));
        }
        return folder;
    }

    static QImage Solid(QSize size, const QColor& color) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(color);
        return image;
    }

private:
    QTemporaryDir m_dir;
};
