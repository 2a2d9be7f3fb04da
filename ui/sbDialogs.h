// SPDX-License-Identifier: GPL-2.0-or-later
// Message boxes and file dialogs of the program. Every window asks through
// this service instead of calling QMessageBox or QFileDialog itself, so tests
// can switch it into preset mode: nothing modal appears, each box is recorded
// and answered from a queue the test filled beforehand.
#pragma once

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

class QDialog;
class QWidget;

enum class TsbMsgKind { mkError, mkWarning, mkInformation, mkConfirmation };
enum class TsbMsgButtons { mbOk, mbYesNo, mbOkCancel };
enum class TsbMsgResult { mrOk, mrCancel, mrYes, mrNo };

// One dialog as the user would have seen it; a file dialog's Text is the
// file or folder it opened at.
struct TsbShownDialog {
    enum class Type { dtMessage, dtOpenFile, dtSaveFile, dtModalWindow, dtOpenFolder };
    Type DialogType = Type::dtMessage;
    TsbMsgKind Kind = TsbMsgKind::mkInformation;
    QString Caption;
    QString Text;
    // The error box's own button it offered (SetErrorBoxButton), or empty.
    QString Button;
};

class TsbDialogs {
public:
    // Texts are shown as plain text. An empty caption stays empty until
    // SetDefaultCaption names the program; after that it is the program's title.
    static TsbMsgResult MessageBox(QWidget* parent, const QString& text, const QString& caption,
                                   TsbMsgKind kind, TsbMsgButtons buttons = TsbMsgButtons::mbOk);
    // The chosen file, or an empty text when the user cancelled.
    static QString OpenFileName(QWidget* parent, const QString& caption, const QString& filter,
                                const QString& initialFile = {});
    // The chosen folder, or an empty text when the user cancelled; its
    // preset answer is the next PresetFileName.
    static QString ExistingFolder(QWidget* parent, const QString& caption,
                                  const QString& initialFolder = {});
    // A name typed without a suffix gets defaultSuffix (in preset mode too).
    // askToReplace false: the caller asks itself about files that exist
    // (it writes more than the one file the dialog would name).
    static QString SaveFileName(QWidget* parent, const QString& caption, const QString& filter,
                                const QString& initialFile = {}, const QString& defaultSuffix = {},
                                bool askToReplace = true);
    static void SetDefaultCaption(const QString& caption);
    // A button of the program's own on every error box with only OK ("Save
    // Problem Report..."): pressing it closes the box as OK would, then runs
    // action with the box's parent. An empty text takes it away.
    static void SetErrorBoxButton(const QString& text, std::function<void(QWidget* parent)> action);
    // Runs a dialog window modally and returns its result code (QDialog::Accepted ...).
    // In preset mode the window is shown without a nested loop, then closed
    // with the next preset code (Accepted when none is queued).
    static int ExecModal(QDialog& dialog);

    // Preset mode, for tests.
    static void BeginPresets();
    static void EndPresets();
    static bool PresetMode();
    static void PresetAnswer(TsbMsgResult answer);
    static void PresetFileName(const QString& fileName); // empty = the user cancels
    static void PresetModalResult(int result);
    // The next error box that offers its own button has it pressed.
    static void PresetErrorBoxButton();
    static const std::vector<TsbShownDialog>& Shown();
    static std::vector<TsbShownDialog> ShownMessages(TsbMsgKind kind);
    static void ClearShown();
};
