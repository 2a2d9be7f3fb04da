// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/sbDialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace {

struct TPresets {
    bool Active = false;
    std::deque<TsbMsgResult> Answers;
    std::deque<QString> FileNames;
    std::deque<int> ModalResults;
    int ErrorBoxButtonPresses = 0;
    std::vector<TsbShownDialog> Shown;
};

struct TErrorBoxButton {
    QString Text;
    std::function<void(QWidget*)> Action;
};

TErrorBoxButton& errorBoxButton() {
    static TErrorBoxButton button;
    return button;
}

TPresets& presets() {
    static TPresets p;
    return p;
}

QString& defaultCaption() {
    static QString caption;
    return caption;
}

QString captionOrTitle(const QString& caption) {
    return caption.isEmpty() ? defaultCaption() : caption;
}

TsbMsgResult defaultAnswer(TsbMsgButtons buttons) {
    switch (buttons) {
    case TsbMsgButtons::mbYesNo:
        return TsbMsgResult::mrNo;
    case TsbMsgButtons::mbOkCancel:
        return TsbMsgResult::mrCancel;
    case TsbMsgButtons::mbOk:
        break;
    }
    return TsbMsgResult::mrOk;
}

QString nextFileName(TsbShownDialog::Type type, const QString& caption,
                     const QString& initialFile) {
    auto& p = presets();
    p.Shown.push_back({type, TsbMsgKind::mkInformation, caption, initialFile, {}});
    if (p.FileNames.empty()) {
        return {};
    }
    QString name = p.FileNames.front();
    p.FileNames.pop_front();
    return name;
}

} // namespace

TsbMsgResult TsbDialogs::MessageBox(QWidget* parent, const QString& text, const QString& caption,
                                    TsbMsgKind kind, TsbMsgButtons buttons) {
    auto& p = presets();
    // Copied: the action may set another button.
    const TErrorBoxButton extra = kind == TsbMsgKind::mkError && buttons == TsbMsgButtons::mbOk &&
                                          !errorBoxButton().Text.isEmpty()
                                      ? errorBoxButton()
                                      : TErrorBoxButton{};
    if (p.Active) {
        p.Shown.push_back({TsbShownDialog::Type::dtMessage, kind, caption, text, extra.Text});
        if (!extra.Text.isEmpty() && p.ErrorBoxButtonPresses > 0) {
            --p.ErrorBoxButtonPresses;
            extra.Action(parent);
            return TsbMsgResult::mrOk;
        }
        if (p.Answers.empty()) {
            return defaultAnswer(buttons);
        }
        TsbMsgResult answer = p.Answers.front();
        p.Answers.pop_front();
        return answer;
    }

    QMessageBox box(parent);
    box.setWindowTitle(captionOrTitle(caption));
    // Texts carry file, drive and disc names: "<b>" in one is shown as typed.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    switch (kind) {
    case TsbMsgKind::mkError:
        box.setIcon(QMessageBox::Critical);
        break;
    case TsbMsgKind::mkWarning:
        box.setIcon(QMessageBox::Warning);
        break;
    case TsbMsgKind::mkInformation:
        box.setIcon(QMessageBox::Information);
        break;
    case TsbMsgKind::mkConfirmation:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case TsbMsgButtons::mbOk:
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    case TsbMsgButtons::mbYesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case TsbMsgButtons::mbOkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    }
    QAbstractButton* own =
        extra.Text.isEmpty() ? nullptr : box.addButton(extra.Text, QMessageBox::ActionRole);
    const int shown = box.exec();
    if (own != nullptr && box.clickedButton() == own) {
        extra.Action(parent);
        return TsbMsgResult::mrOk;
    }
    switch (shown) {
    case QMessageBox::Yes:
        return TsbMsgResult::mrYes;
    case QMessageBox::No:
        return TsbMsgResult::mrNo;
    case QMessageBox::Cancel:
        return TsbMsgResult::mrCancel;
    default:
        break;
    }
    return buttons == TsbMsgButtons::mbOk ? TsbMsgResult::mrOk : defaultAnswer(buttons);
}

QString TsbDialogs::OpenFileName(QWidget* parent, const QString& caption, const QString& filter,
                                 const QString& initialFile) {
    if (presets().Active) {
        return nextFileName(TsbShownDialog::Type::dtOpenFile, caption, initialFile);
    }
    return QFileDialog::getOpenFileName(parent, caption, initialFile, filter);
}

QString TsbDialogs::ExistingFolder(QWidget* parent, const QString& caption,
                                   const QString& initialFolder) {
    if (presets().Active) {
        return nextFileName(TsbShownDialog::Type::dtOpenFolder, caption, initialFolder);
    }
    return QFileDialog::getExistingDirectory(parent, caption, initialFolder);
}

QString TsbDialogs::SaveFileName(QWidget* parent, const QString& caption, const QString& filter,
                                 const QString& initialFile, const QString& defaultSuffix,
                                 bool askToReplace) {
    if (presets().Active) {
        QString name = nextFileName(TsbShownDialog::Type::dtSaveFile, caption, initialFile);
        // As the dialog does before it asks whether to replace a file.
        if (!name.isEmpty() && !defaultSuffix.isEmpty() && QFileInfo(name).suffix().isEmpty()) {
            name += QLatin1Char('.') + defaultSuffix;
        }
        return name;
    }
    QFileDialog dialog(parent, caption, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The dialog adds the suffix itself, so its question about replacing a
    // file names the file that is really written.
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !askToReplace);
    dialog.selectFile(initialFile);
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles().value(0);
}

void TsbDialogs::SetDefaultCaption(const QString& caption) {
    defaultCaption() = caption;
}

void TsbDialogs::SetErrorBoxButton(const QString& text,
                                   std::function<void(QWidget* parent)> action) {
    errorBoxButton() =
        text.isEmpty() || !action ? TErrorBoxButton{} : TErrorBoxButton{text, std::move(action)};
}

int TsbDialogs::ExecModal(QDialog& dialog) {
    auto& p = presets();
    if (!p.Active) {
        return dialog.exec();
    }
    dialog.show();
    QCoreApplication::processEvents();
    p.Shown.push_back({TsbShownDialog::Type::dtModalWindow,
                       TsbMsgKind::mkInformation,
                       dialog.windowTitle(),
                       dialog.objectName(),
                       {}});
    int result = QDialog::Accepted;
    if (!p.ModalResults.empty()) {
        result = p.ModalResults.front();
        p.ModalResults.pop_front();
    }
    if (dialog.isVisible()) {
        dialog.done(result);
    }
    return result;
}

void TsbDialogs::BeginPresets() {
    auto& p = presets();
    p = TPresets{};
    p.Active = true;
}

void TsbDialogs::EndPresets() {
    presets() = TPresets{};
}

bool TsbDialogs::PresetMode() {
    return presets().Active;
}

void TsbDialogs::PresetAnswer(TsbMsgResult answer) {
    presets().Answers.push_back(answer);
}

void TsbDialogs::PresetFileName(const QString& fileName) {
    presets().FileNames.push_back(fileName);
}

void TsbDialogs::PresetModalResult(int result) {
    presets().ModalResults.push_back(result);
}

void TsbDialogs::PresetErrorBoxButton() {
    ++presets().ErrorBoxButtonPresses;
}

const std::vector<TsbShownDialog>& TsbDialogs::Shown() {
    return presets().Shown;
}

std::vector<TsbShownDialog> TsbDialogs::ShownMessages(TsbMsgKind kind) {
    std::vector<TsbShownDialog> result;
    for (const auto& d : presets().Shown) {
        if (d.DialogType == TsbShownDialog::Type::dtMessage && d.Kind == kind) {
            result.push_back(d);
        }
    }
    return result;
}

void TsbDialogs::ClearShown() {
    presets().Shown.clear();
}
