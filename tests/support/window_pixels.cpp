// A window's pixels as the screen shows them.
#include "window_pixels.h"

#include <cstring>

WindowPixels CaptureWindow(HWND window) {
    WindowPixels pixels = {};
    RECT bounds;
    if (!GetWindowRect(window, &bounds)) {
        return pixels;
    }
    pixels.width = bounds.right - bounds.left;
    pixels.height = bounds.bottom - bounds.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = pixels.width;
    info.bmiHeader.biHeight = -pixels.height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    // Wine gives another process's window DC no pixels to read: those come
    // from the screen, where the window must then be uncovered.
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    bool own = owner == GetCurrentProcessId();
    HDC source = own ? GetWindowDC(window) : GetDC(NULL);
    int x = own ? 0 : bounds.left, y = own ? 0 : bounds.top;
    HDC memory = CreateCompatibleDC(source);
    void *bits = NULL;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, pixels.width, pixels.height, source, x, y, SRCCOPY);
        GdiFlush();
        pixels.bits.resize((size_t)pixels.width * pixels.height);
        memcpy(pixels.bits.data(), bits, pixels.bits.size() * sizeof(DWORD));
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(own ? window : NULL, source);
    return pixels;
}

HWND CoveringWindow(HWND window) {
    RECT bounds, other, both;
    GetWindowRect(window, &bounds);
    for (HWND above = GetWindow(GetAncestor(window, GA_ROOT), GW_HWNDPREV); above;
         above = GetWindow(above, GW_HWNDPREV)) {
        if (IsWindowVisible(above) && GetWindowRect(above, &other) &&
            IntersectRect(&both, &bounds, &other)) {
            return above;
        }
    }
    return NULL;
}

long DifferingPixels(const WindowPixels &a, const WindowPixels &b) {
    if (a.width != b.width || a.height != b.height || a.bits.size() != b.bits.size()) {
        return (long)(a.bits.size() > b.bits.size() ? a.bits.size() : b.bits.size());
    }
    long differing = 0;
    for (size_t i = 0; i < a.bits.size(); ++i) {
        differing += (a.bits[i] & 0xFFFFFF) != (b.bits[i] & 0xFFFFFF);
    }
    return differing;
}
