// A window's pixels as the screen shows them, frame and child windows
// included: what a user sees of it, for comparing a window's own update with
// a full repaint of it.
#pragma once

#include <windows.h>

#include <vector>

struct WindowPixels {
    int width, height;
    std::vector<DWORD> bits; // top-down rows of 0x00RRGGBB
};

// Works on windows of other processes too, as long as nothing covers them.
WindowPixels CaptureWindow(HWND window);

// A visible window above the window's top-level one that covers part of it on
// screen, or NULL.
HWND CoveringWindow(HWND window);

// Pixels that differ; two captures of different sizes differ in all of them.
long DifferingPixels(const WindowPixels &a, const WindowPixels &b);
