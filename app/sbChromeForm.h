// SPDX-License-Identifier: GPL-2.0-or-later
// What the three large windows (welcome, wizard, finish) share: the skinned
// frame, the two logos that drag the window, minimise and close in the title
// area, the five buttons along the bottom, the version label, the "more free
// tools..." link and the help menu. LoadChrome reads the art from the art
// folder the settings file chooses and applies one of two layouts.
#pragma once

#include "ui/sbSkinnedForm.h"

#include <QString>

class QAction;
class QLabel;
class QMenu;
class TsbImageButton;
class TsbIniFile;
class TsbLinkLabel;

class TsbChromeForm : public TsbSkinnedForm {
    Q_OBJECT

public:
    explicit TsbChromeForm(QWidget* parent = nullptr);
    ~TsbChromeForm() override;

    // Loads the chrome, in this order: caption, version label, art folder,
    // art files, layout. Raises an error at the first step that fails; what
    // was loaded before stays, nothing after it is done.
    void LoadChrome();
    // LoadChrome as a window's creation runs it: a failure is shown in an
    // error box and the window goes on without the rest of its art.
    bool LoadChromeReported();

    // The art folder the product file names: the program's folder +
    // "sounds/ISORes" + Res.
    static QString ArtFolder();
    static QString ArtFolder(const TsbIniFile& productFile);

    // The layout applied by the last LoadChrome: 0, 1, or -1 for none.
    int AppliedLayout() const { return m_appliedLayout; }

    // Controls, named as their objectName.
    QLabel* ImageTopLogo = nullptr;
    QLabel* ImageLeftLogo = nullptr;
    QLabel* LabelVersion = nullptr;
    TsbLinkLabel* LabelMoreTools = nullptr;
    TsbImageButton* ButtonMin = nullptr;
    TsbImageButton* ButtonExit = nullptr;
    TsbImageButton* ButtonHelp = nullptr;
    TsbImageButton* ButtonAbout = nullptr;
    TsbImageButton* ButtonPrev = nullptr;
    TsbImageButton* ButtonNext = nullptr;
    TsbImageButton* ButtonClose = nullptr;

    QObject* ActionList = nullptr;
    QAction* ActionHelp = nullptr;
    QAction* ActionHelpContent = nullptr;
    QAction* ActionQuickStart = nullptr;
    QAction* ActionHomePage = nullptr;
    QAction* ActionMoreRelatedTools = nullptr;
    QAction* ActionCheckforUpdates = nullptr;
    QAction* ActionContactTechnicalSupport = nullptr;
    QAction* ActionAbout = nullptr;
    QMenu* PopupMenuHelp = nullptr;

    // Handlers shared by the three windows.
    // Enter: the focused push button of a page, else Next when it is enabled.
    void EnterPressed();
    // Esc: Cancel when it is enabled, with whatever question Cancel asks.
    void EscapePressed();
    void ButtonMinClick();
    void ButtonAboutClick();
    void ActionHelpExecute();
    // Where the help menu pops up: just below the Help button, on the screen.
    QPoint HelpMenuPoint() const;
    void LabelMoreToolsClick();

protected:
    // Places the controls of one layout. The base places the shared
    // controls; windows add their own and call the base first.
    virtual void ApplyLayout(int layout);
    // A window restored from the minimised state brings back the others.
    void changeEvent(QEvent* event) override;

    // A label of the window's content: transparent, Tahoma 8 pt.
    QLabel* AddLabel(QWidget* parent, const QString& name, const QRect& geometry,
                     const QString& text = {});

private:
    void CreateChrome();
    void CreateHelpMenu();

    int m_appliedLayout = -1;
};

// The "Version: %s" text of the version label.
QString VersionLabelText(const QString& version);
