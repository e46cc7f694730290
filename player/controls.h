#ifndef VOREL_PLAYER_CONTROLS_H_
#define VOREL_PLAYER_CONTROLS_H_

// The windows and controls the player and the play list work on, and the property indexes they
// use. These are facts of the window set (its ids never change), gathered in one place so that
// handlers read like the window they drive.

#include "runtime/window_template.h"

namespace vorel::player {

using runtime::ControlId;
using runtime::WindowId;

inline constexpr WindowId kMainWindow = 0x52010001;
inline constexpr WindowId kExitWindow = 0x520101CE;
inline constexpr WindowId kClearWindow = 0x52012C04;

// The windows addressed as controls of themselves.
inline constexpr ControlId kMainWindowSelf = 0x06010000;
inline constexpr ControlId kExitWindowSelf = 0x060101CF;
inline constexpr ControlId kClearWindowSelf = 0x06012C05;

// Main window.
inline constexpr ControlId kStatusCaption = 0x16014F2A;     // 字幕
inline constexpr ControlId kTimeLabel = 0x16012AE0;         // 标签时间
inline constexpr ControlId kPositionSlider = 0x16012C5D;    // 滑块条_播放位置
inline constexpr ControlId kVolumeBar = 0x1601350F;         // 多功能条2
inline constexpr ControlId kMuteBox = 0x16013513;           // 选择框1
inline constexpr ControlId kPlayPauseButton = 0x16012A3E;   // 超级按钮_播放_暂停
inline constexpr ControlId kStatusTimer = 0x16012AA5;       // 时钟_播放判断
inline constexpr ControlId kSpectrumTimer = 0x16012AA3;     // 时钟_API频谱
inline constexpr ControlId kLyricsTimer = 0x16012ABA;       // 时钟_歌词
inline constexpr ControlId kCoverPicture = 0x16014F25;      // 图片框1
inline constexpr ControlId kSpectrumPanel = 0x16014F2D;     // 画板1
inline constexpr ControlId kPlayList = 0x16014F1D;          // 列表框1
inline constexpr ControlId kLyricUpper = 0x16012B89;        // 歌词_标签_上
inline constexpr ControlId kLyricLower = 0x16012B8D;        // 歌词_标签_下
inline constexpr ControlId kPlayModeButton = 0x16012B1F;    // 超级按钮_全部播放
inline constexpr ControlId kPlayModePanel = 0x1601697C;     // 外形框_播放模式选择
inline constexpr ControlId kSearchResults = 0x16014F1F;     // 超级列表框1
inline constexpr ControlId kListToggleButton = 0x16012AB9;  // 超级按钮_打开列表
inline constexpr ControlId kPlayListPanel = 0x16014F19;     // 外形框_播放列表
inline constexpr ControlId kSearchPanel = 0x16014F1E;       // 外形框_搜索列表
inline constexpr ControlId kVolumePanel = 0x1601350E;       // 外形框5
inline constexpr ControlId kSearchBox = 0x16012C75;         // 编辑框_搜索内容

// Property indexes.
inline constexpr int kPropLeft = 0;
inline constexpr int kPropTop = 1;
inline constexpr int kPropWidth = 2;
inline constexpr int kPropHeight = 3;
inline constexpr int kPropVisible = 5;
inline constexpr int kPropText = 8;            // Label, TransLabel, EditBox
inline constexpr int kPropTimerInterval = 8;   // Timer
inline constexpr int kPropPicture = 10;        // PicBox
inline constexpr int kPropBarMaximum = 16;     // SuperBar
inline constexpr int kPropBarPosition = 17;    // SuperBar
inline constexpr int kPropPenColour = 17;      // DrawPanel
inline constexpr int kPropChecked = 18;        // CheckBox
inline constexpr int kPropSliderMaximum = 18;  // SliderBar
inline constexpr int kPropSliderPosition = 19; // SliderBar
inline constexpr int kPropCaption = 22;        // SuperBtn
inline constexpr int kPropSelectedRow = 35;    // ListView
inline constexpr int kPropRows = 37;           // ListView

}  // namespace vorel::player

#endif  // VOREL_PLAYER_CONTROLS_H_
