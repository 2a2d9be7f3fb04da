// SPDX-License-Identifier: GPL-2.0-or-later
// Writes the catalog that tavrin-burn reads (base/sbTranslate) from a Qt
// Linguist .ts file, at build time, so the terminal and the wizard share one
// translation and tavrin-burn needs no Qt:
//   tavrin_tscat LANGUAGE.ts OUTPUT.cat
// Only finished translations go in; a missing one stays English.
#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QXmlStreamReader>

#include <cstdio>

namespace {

struct TMessage {
    QString Source;
    QString Translation;
    bool Finished = true;
};

// One <message>: its <source> and <translation>; the reader stands after it.
TMessage readMessage(QXmlStreamReader& xml) {
    TMessage message;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("source")) {
            message.Source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            const QStringView type = xml.attributes().value(QLatin1String("type"));
            message.Finished = type.isEmpty();
            message.Translation = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else {
            xml.skipCurrentElement();
        }
    }
    return message;
}

void append(QByteArray& out, const QString& text) {
    out += text.toUtf8();
    out += '\0';
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: tavrin_tscat LANGUAGE.ts OUTPUT.cat\n");
        return 2;
    }
    QFile input(QString::fromLocal8Bit(argv[1]));
    if (!input.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "tavrin_tscat: cannot read %s\n", argv[1]);
        return 1;
    }
    QByteArray out("TAVRIN-CATALOG 1\n");
    QXmlStreamReader xml(&input);
    QString context;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            continue;
        }
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            const TMessage message = readMessage(xml);
            if (message.Finished && !message.Translation.isEmpty()) {
                append(out, context);
                append(out, message.Source);
                append(out, message.Translation);
            }
        }
    }
    if (xml.hasError()) {
        std::fprintf(stderr, "tavrin_tscat: %s: %s\n", argv[1], qPrintable(xml.errorString()));
        return 1;
    }
    QSaveFile output(QString::fromLocal8Bit(argv[2]));
    if (!output.open(QIODevice::WriteOnly) || output.write(out) != out.size() || !output.commit()) {
        std::fprintf(stderr, "tavrin_tscat: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
