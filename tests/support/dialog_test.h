// The program's dialog from its template against 45 scripted processes, for
// tests that work it as a user would: real clicks, the buttons' commands,
// and refresh ticks of the test's own.
#pragma once

#include "fake_process_ops.h"
#include "test_window.h"

#include "res/ids.h"
#include "ui/ui.h"

#include <gtest/gtest.h>

class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetFake();
        AddFakeProcesses(45);
        dialog = CreateMainDialog();
        ASSERT_TRUE(dialog);
        list = GetDlgItem(dialog, IDC_PROCESS_LIST);
        Fake.openedIds.clear();
        Fake.openAccess.clear();
    }
    void TearDown() override {
        DestroyWindow(dialog);
    }
    void Tick() {
        SendMessageA(dialog, WM_TIMER, ID_REFRESH_TIMER, 0);
    }
    void Press(int id) {
        SendMessageA(dialog, WM_COMMAND, id, 0);
    }
    HWND dialog;
    HWND list;
};
