#pragma once

#include <QIcon>
#include <QPixmap>

/// The image list of the tool bar and the results list: pictures drawn for the program, kept in
/// its resources at 16 x 16 and 32 x 32 pixels (crisp at 1x and 2x). Indexes 0 to 2, 12 and 13
/// are the state images of the results list, the others the tool bar's.
namespace ThvImageList {

inline constexpr int Running = 0;  ///< blue right-pointing triangle
inline constexpr int Success = 1;  ///< green check mark
inline constexpr int Failure = 2;  ///< red cross
inline constexpr int Open = 3;     ///< open folder with a green arrow
inline constexpr int New = 4;      ///< blank page
inline constexpr int Save = 5;     ///< floppy disk
inline constexpr int SaveAs = 6;   ///< floppy disk with a green arrow
inline constexpr int Update = 7;   ///< green circling arrows
inline constexpr int Help = 8;     ///< blue question mark
inline constexpr int Home = 9;     ///< house
inline constexpr int Support = 10; ///< envelope
inline constexpr int About = 11;   ///< information sign
inline constexpr int Salvaged = 12;      ///< amber check mark with a red exclamation mark
inline constexpr int NotConverted = 13;  ///< grey circle with a bar
inline constexpr int Config = 14;  ///< crossed tools

/// The image at index; a null icon for an index without one.
QIcon Image(int index);

/// The product picture, 128 x 128 (and 256 x 256 for 2x screens).
QIcon ProductPicture();

}  // namespace ThvImageList
