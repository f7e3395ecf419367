#pragma once

// The host's main window: a native menu bar with "&Настройка", where the
// driver's entry appears, and a list with a line for each tank shown. With
// a screenshot asked for, it opens the settings menu once every tank has
// its line, saves the shot and ends the host.

#include <windows.h>

#include <string>

#include "shown_log.h"

namespace qmx::host {

constexpr int kTanksShown = 4;

class THostWindow {
public:
    // `screenshot`: the PNG to save; empty: none.
    THostWindow(TShownLog& log, std::string screenshot);
    THostWindow(const THostWindow&) = delete;
    THostWindow& operator=(const THostWindow&) = delete;

    // Registers the window's class and makes the window, its menu bar and
    // its list, shown in front. Once, on the thread that runs the messages.
    void Create();
    // Closes any message box and ends the host after `seconds`.
    void QuitAfter(int seconds);
    // Tank `tank`'s line, also to the log; on the window's thread.
    void ShowLine(int tank, const std::string& text);
    // From any thread: tank `tank`'s line, for the window's thread to show.
    void PostTankLine(int tank, const std::string& text) const;
    // From any thread: an error, for the window's thread to show in a
    // message box.
    void PostError(const std::string& text) const;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void ShowTankRead(HWND window, LPARAM line);
    void ShowError(HWND window, LPARAM text);
    void OnTimer(HWND window, UINT_PTR timer);
    // The window and, to its right, room for the open menu.
    void SaveScreen();

    TShownLog& FLog;
    const std::string FScreenshot;
    HWND FWindow = nullptr;
    HWND FList = nullptr;
    int FTanksShown = 0;
};

}  // namespace qmx::host
