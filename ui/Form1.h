// SPDX-License-Identifier: GPL-3.0-or-later
// The program's one window: a white title band, three mode buttons switching the split, merge
// and help panels, the close button and the status line. The controls keep their plain names
// and the handlers are named after their control and event, so each reads as the step it is.
// Form1Layout.cpp creates and places the controls, an EventHook hands their events to the
// handlers, and a BusyRunner runs a split or merge while the window keeps painting.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>

#include "Platform.h"
#include "StatusLine.h"

class BusyRunner;
class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QPushButton;

class Form1 : public QWidget {
    Q_OBJECT

  public:
    explicit Form1(platform::Platform& platform, QWidget* parent = nullptr);
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
    // A file dropped on the split or merge panel, as the matching chooser would fill it in.
    void Form_DropFile(const QString& path);

    // The status line's idle text.
    static const QString kIdleText;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // Creates and places the controls (Form1Layout.cpp).
    void BuildControls();
    // Hands each control's events to its handler.
    void ConnectEvents();
    void EnterMovesFocusTo(std::int16_t& KeyAscii, QWidget* next);
    bool ModeButton_KeyDown(QPushButton* mode, int key);
    void FillListFile(const QString& path);
    QString ChooseFile(int kind, const QString& title, const QString& filter);
    // The one local file a drop carries, or empty when it carries several, a folder or none,
    // or when no panel takes files.
    QString DroppedFile(const QMimeData* mime) const;
    void SelectAll(QLineEdit* field);
    int MsgBox(const QString& prompt, int style, const QString& title);
    // Parses the piece size in megabytes; empty when it is no number or out of range.
    static std::optional<std::int32_t> PieceSizeMegabytes(const QString& text);

    platform::Platform& platform_;
    QButtonGroup* modeGroup_;
    std::unique_ptr<BusyRunner> busy_;
};
