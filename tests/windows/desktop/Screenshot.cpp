#include "Screenshot.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "DriverSupport.h"

namespace lym::gui_test {
namespace {

// The rows of a 24-bit bottom-up bitmap of the screen rectangle.
std::vector<uint8_t> ScreenPixels(const RECT& rect, BITMAPINFOHEADER& header) {
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  const bool copied = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, previous);

  header = {};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
  std::vector<uint8_t> pixels(stride * size_t(height));
  const int rows = GetDIBits(memory, bitmap, 0, UINT(height), pixels.data(),
                             reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  Check(copied && rows == height, "cannot copy the window's picture from the screen");
  return pixels;
}

}  // namespace

void SaveWindowPicture(HWND window, const std::filesystem::path& bmpPath) {
  RECT rect;
  Check(GetWindowRect(window, &rect) && rect.right > rect.left && rect.bottom > rect.top,
        "the window to picture has no size");
  BITMAPINFOHEADER info;
  const std::vector<uint8_t> pixels = ScreenPixels(rect, info);
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(file) + sizeof(info);
  file.bfSize = DWORD(file.bfOffBits + pixels.size());
  std::vector<uint8_t> bytes(file.bfSize);
  std::memcpy(bytes.data(), &file, sizeof(file));
  std::memcpy(bytes.data() + sizeof(file), &info, sizeof(info));
  std::memcpy(bytes.data() + file.bfOffBits, pixels.data(), pixels.size());
  WriteBytes(bmpPath, bytes);
}

}  // namespace lym::gui_test
