// Twips: the layout unit of window positions, grid widths and chart layouts, 15 to a pixel.
#pragma once

// Twips per pixel: positions of splitter bars, grid column widths and row heights are kept in twips.
inline constexpr int kTwipsPerPixel = 15;
