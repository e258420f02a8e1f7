// SPDX-License-Identifier: GPL-3.0-or-later
// The program's one window, drawn with Qt from the layout in windowlogic/Layout.h: a white title
// band, three mode buttons switching the split, merge and help panels, the close button and
// the status line. The window decides nothing itself. Each handler, named after its control
// and event, is one call into the window's logic (windowlogic::WindowLogic), which answers
// through the window's View and PlatformSeam: Form1View.cpp turns those into widgets, Qt boxes
// and dialogs (ui/Platform.h) and queued calls, and QString into std::u16string and back.
#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "Controls.h"
#include "Platform.h"
#include "StatusLine.h"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QPushButton;

namespace windowlogic {
class Events;
class PlatformSeam;
class View;
}  // namespace windowlogic

class Form1 : public QWidget {
    Q_OBJECT

  public:
    explicit Form1(platform::Platform& platform, QWidget* parent = nullptr);
    // The window on another logic, for tests that watch what the window hands it.
    using LogicMaker = std::function<std::unique_ptr<windowlogic::Events>(
        windowlogic::View&, windowlogic::PlatformSeam&)>;
    Form1(platform::Platform& platform, const LogicMaker& makeLogic, QWidget* parent = nullptr);
    ~Form1() override;

    // The title band.
    QWidget* Shape1;
    QLabel* Image1;
    QLabel* Label2;
    QLabel* Label30;
    // The mode buttons and their panels.
    QPushButton* Option1;
    QPushButton* Option2;
    QPushButton* Option3;
    QGroupBox* Frame1;
    QGroupBox* Frame2;
    QGroupBox* Frame4;
    // Split panel.
    QLabel* Label1[4];
    QLabel* Label4;
    QLineEdit* txtFileName;
    QComboBox* Combo1;
    QPushButton* cmdSplit;
    // Merge panel.
    QLabel* Label3;
    QLineEdit* txtTemplateName;
    QLabel* Label5;
    QLineEdit* txtOutputFile;
    QPushButton* cmdUnsplit;
    // Help panel.
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;
    QLabel* Label9;
    QLabel* Label10;
    QLabel* Label11;
    // Bottom.
    QPushButton* Command1;
    StatusLine* Text1;
    platform::CommonDialog CMD;

    void Form_Load();
    void Option1_Click();
    void Option2_Click();
    void Option3_Click();
    void txtFileName_GotFocus();
    void Combo1_GotFocus();
    void txtTemplateName_GotFocus();
    void txtOutputFile_GotFocus();
    void txtFileName_KeyPress(std::int16_t& KeyAscii);
    void Combo1_KeyPress(std::int16_t& KeyAscii);
    void txtTemplateName_KeyPress(std::int16_t& KeyAscii);
    void txtOutputFile_KeyPress(std::int16_t& KeyAscii);
    void Command1_Click();
    void cmdSplit_Click();
    void cmdUnsplit_Click();
    void Label4_Click();
    void Label3_Click();
    void Label5_Click();
    // A request to close the window (its close button in the title bar, Alt+F4, or Command1);
    // false keeps it open.
    bool Form_QueryUnload();
    // A file dropped on the split or merge panel.
    void Form_DropFile(const QString& path);
    // The file named on the command line, before the window shows.
    void Form_OpenFile(const QString& path);
    void Form_OpenFileToSplit(const QString& path);
    // The system asks the program to end: a running split or merge stops without a question.
    void Form_Terminate();

    // The status line's idle text.
    static const QString kIdleText;

    // The widget drawing a control of the layout.
    QWidget* Widget(windowlogic::Control control) const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool event(QEvent* event) override;

  private:
    class Adapter;

    // Creates and places the controls from the layout (Form1Layout.cpp).
    void BuildControls();
    // Hands each control's events to its handler.
    void ConnectEvents();
    // Centres the window's frame on the screen: the window alone until the window system has
    // put a frame around it.
    void CentreFrame();
    // The one local file a drop carries, or empty when it carries several or none.
    static QString DroppedFile(const QMimeData* mime);

    platform::Platform& platform_;
    QButtonGroup* modeGroup_ = nullptr;
    std::array<QWidget*, windowlogic::kControlCount> widgets_{};
    bool shownOnce_ = false;
    bool frameCentred_ = false;
    QElapsedTimer sinceShown_;
    std::unique_ptr<Adapter> adapter_;
    // After the adapter it talks to, so that it goes first: its worker is stopped and joined
    // while the widgets are all still there.
    std::unique_ptr<windowlogic::Events> logic_;
};
