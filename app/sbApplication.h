// SPDX-License-Identifier: GPL-2.0-or-later
// The application object: the product title and icon, the four windows the
// program creates at start-up, the objects it owns for the program's life
// (the wizard's pages), and the end of the program.
//
// Start-up, in this order: the front-end hooks of the engine are installed
// and the disc library's version is checked (a mismatch only warns); the
// settings file beside the executable gives the title; the title chooses the
// icon; the welcome window (the main form), the about box, the
// finish window and the wizard's main window are created. Run() shows the
// welcome window and runs the event loop until the main form closes or
// Terminate() is called. Destruction frees the owned objects and then the
// windows, each in the reverse order of creation.
#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QWidget;
class TsbTerminationSignals;
class TfrmWelcome;
class TfrmAbout;
class TfrmFinish;
class TMainForm;

class TsbApplication {
public:
    // Runs the start-up. A QApplication must exist.
    TsbApplication();
    ~TsbApplication();
    TsbApplication(const TsbApplication&) = delete;
    TsbApplication& operator=(const TsbApplication&) = delete;

    // The one application object while it lives, else nullptr.
    static TsbApplication* Instance();

    const QString& Title() const { return m_title; }
    const QIcon& Icon() const { return m_icon; }

    TfrmWelcome* Welcome() const { return m_welcome.get(); }
    TfrmAbout* About() const { return m_about.get(); }
    TfrmFinish* Finish() const { return m_finish.get(); }
    TMainForm* Main() const { return m_main.get(); }

    // Shows the welcome window and runs the event loop; returns its exit code.
    int Run();
    // Ends the program: the event loop returns as soon as control reaches it.
    void Terminate();
    bool Terminated() const { return m_terminated; }
    // Minimises every visible window of the program; returns them.
    std::vector<QWidget*> Minimize();
    // One of the windows Minimize took down is back: the others come back
    // with it.
    void RestoreMinimized(QWidget* restored);

    // The image named on the command line; the image sheet starts with it.
    const QString& InitialImage() const { return m_initialImage; }
    void SetInitialImage(const QString& image) { m_initialImage = image; }

    // Takes ownership of object for the program's life (the pages).
    template <class T>
    T* Own(T* object) {
        m_owned.emplace_back(object);
        return object;
    }

private:
    QString m_title;
    QIcon m_icon;
    bool m_terminated = false;
    QString m_initialImage;
    std::vector<QPointer<QWidget>> m_minimized;
    std::unique_ptr<TsbTerminationSignals> m_termination;
    std::unique_ptr<TfrmWelcome> m_welcome;
    std::unique_ptr<TfrmAbout> m_about;
    std::unique_ptr<TfrmFinish> m_finish;
    std::unique_ptr<TMainForm> m_main;
    // A page docked into a window may be freed with it; QPointer notices.
    std::vector<QPointer<QObject>> m_owned;
};

// Shows the about box modally (the About buttons and actions).
void ShowAboutBox(QWidget* owner);

// Installs the windows' front-end hooks (base/sbFrontEnd.h: events between
// waits, message boxes, the progress window); RemoveFrontEndHooks takes them
// away again.
void InstallFrontEndHooks();
void RemoveFrontEndHooks();

// What the command line asks for: an image to start with, or a text to print
// (--help, --version, a mistake) and the exit code to end with.
struct TsbCommandLine {
    QString Image;
    bool Exit = false;
    int ExitCode = 0;
    QString Output;
};
TsbCommandLine ParseCommandLine(const QStringList& arguments, const QString& version);

// The platform plugin to ask for before the QApplication exists: "xcb" in a
// Wayland session when the user chose none (the windows place themselves,
// which Wayland does not allow), else empty (Qt's own choice).
QString ChoosePlatform(const QStringList& arguments);

// Applies the program's look: font, palette, font substitutes, and controls
// that grow to show their whole texts.
void ApplyApplicationStyle();
// Loads the Tahoma-metric fonts of fonts-wine when the system has no Tahoma.
void LoadTahomaIfMissing();
