// SPDX-License-Identifier: GPL-3.0-or-later
// What the window's logic sees of Form1: its widgets as a windowlogic::View, and Qt's boxes,
// dialogs, file system and event queue as a windowlogic::PlatformSeam. Boxes and dialogs go
// through the platform layer (Platform.h), so a test that hands Form1 a scripted
// platform::Platform answers them.
#pragma once

#include "Form1.h"
#include "PlatformSeam.h"
#include "View.h"

class Form1::Adapter final : public windowlogic::View, public windowlogic::PlatformSeam {
  public:
    Adapter(Form1& form, platform::Platform& platform) : form_(form), platform_(platform) {}
    // A window closed during a run leaves no busy pointer behind.
    ~Adapter() override { SetBusyCursor(false); }

    // View
    std::u16string Text(windowlogic::Control control) const override;
    void SetText(windowlogic::Control control, const std::u16string& text) override;
    void AddItem(windowlogic::Control list, const std::u16string& item) override;
    void SetSelection(windowlogic::Control field, int start, int length) override;
    void SetFocus(windowlogic::Control control) override;
    windowlogic::Control Focused() const override;
    void SetVisible(windowlogic::Control control, bool visible) override;
    void SetChecked(windowlogic::Control mode) override;
    void SetEnabled(windowlogic::Control control, bool enabled) override;
    void SetBusyCursor(bool busy) override;
    void SetProgress(double fraction) override;
    void Close() override;

    // PlatformSeam
    int MsgBox(const std::u16string& prompt, int style, const std::u16string& title) override;
    std::u16string ShowFileDialog(const windowlogic::FileDialogRequest& request) override;
    bool FileExists(const std::u16string& path) override;
    bool IsFile(const std::u16string& path) override;
    bool IsFolder(const std::u16string& path) override;
    std::u16string FolderOf(const std::u16string& path) override;
    void Post(windowlogic::LifetimeToken owner, std::function<void()> call) override;

  private:
    Form1& form_;
    platform::Platform& platform_;
    bool busyCursor_ = false;
};
