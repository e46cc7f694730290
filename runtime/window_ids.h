#ifndef VOREL_RUNTIME_WINDOW_IDS_H_
#define VOREL_RUNTIME_WINDOW_IDS_H_

// The ids of Vorel's three windows and their controls, as app/windows.desc gives them (a test
// checks every constant against the built template by the control's name).

#include "runtime/window_template.h"

namespace vorel::ids {

using runtime::ControlId;
using runtime::WindowId;

inline constexpr WindowId kMainWindow = 0x52010001;
inline constexpr WindowId kExitDialog = 0x520101CE;
inline constexpr WindowId kClearDialog = 0x52012C04;

// Main window.
inline constexpr ControlId kMainWindowSelf = 0x06010000;
inline constexpr ControlId kTitleCaption = 0x16016985;      // 字幕1
inline constexpr ControlId kModeChooser = 0x1601697C;       // 外形框_播放模式选择
inline constexpr ControlId kModeRandom = 0x1601697D;        // 超级按钮15
inline constexpr ControlId kModeLoopAll = 0x1601697E;       // 超级按钮14
inline constexpr ControlId kModePlayAll = 0x1601697F;       // 超级按钮13
inline constexpr ControlId kModeSingleLoop = 0x16016980;    // 超级按钮12
inline constexpr ControlId kModeSinglePlay = 0x16016981;    // 超级按钮11
inline constexpr ControlId kDownloadTimer = 0x16016976;     // 下载时钟
inline constexpr ControlId kResolveButton = 0x16014F71;     // 超级按钮_解析
inline constexpr ControlId kDownloadProgress = 0x16014F4F;  // 进度条1
inline constexpr ControlId kDownloadLabel = 0x16014F4E;     // 下载标签
inline constexpr ControlId kDownloadButton = 0x16014F4D;    // 图形按钮down
inline constexpr ControlId kSpectrumCanvas = 0x16014F2D;    // 画板1
inline constexpr ControlId kStatusCaption = 0x16014F2A;     // 字幕
inline constexpr ControlId kAddressFrame = 0x16014F28;      // 地址外形框
inline constexpr ControlId kAddressBox = 0x16014F29;        // 地址框
inline constexpr ControlId kHideButton = 0x16014F27;        // 超级按钮19
inline constexpr ControlId kCloseButton = 0x16014F26;       // 超级按钮7
inline constexpr ControlId kCoverPicture = 0x16014F25;      // 图片框1
inline constexpr ControlId kSearchPanel = 0x16014F1E;       // 外形框_搜索列表
inline constexpr ControlId kSearchResults = 0x16014F1F;     // 超级列表框1
inline constexpr ControlId kSearchCollapse = 0x16014F20;    // 超级按钮18
inline constexpr ControlId kSearchCountLabel = 0x16014F21;  // 标签_搜索结果
inline constexpr ControlId kPlayListPanel = 0x16014F19;     // 外形框_播放列表
inline constexpr ControlId kPlayListTitle = 0x16014F1A;     // 超级按钮10
inline constexpr ControlId kClearButton = 0x16014F1B;       // 超级按钮8
inline constexpr ControlId kDeleteButton = 0x16014F1C;      // 超级按钮1
inline constexpr ControlId kPlayList = 0x16014F1D;          // 列表框1
inline constexpr ControlId kVolumePanel = 0x1601350E;       // 外形框5
inline constexpr ControlId kVolumeBar = 0x1601350F;         // 多功能条2
inline constexpr ControlId kVolumeFrame = 0x16013510;       // 外形框6
inline constexpr ControlId kVolumeCaption = 0x16013511;     // 标签2
inline constexpr ControlId kMuteCaption = 0x16013512;       // 标签1
inline constexpr ControlId kMuteBox = 0x16013513;           // 选择框1
inline constexpr ControlId kSearchFrame = 0x16012C73;       // 外形框8
inline constexpr ControlId kSearchButton = 0x16012C74;      // 超级按钮_搜索
inline constexpr ControlId kSearchBox = 0x16012C75;         // 编辑框_搜索内容
inline constexpr ControlId kPositionSlider = 0x16012C5D;    // 滑块条_播放位置
inline constexpr ControlId kLyricLower = 0x16012B8D;        // 歌词_标签_下
inline constexpr ControlId kLyricUpper = 0x16012B89;        // 歌词_标签_上
inline constexpr ControlId kLyricsPanel = 0x16012B88;       // 外形框4
inline constexpr ControlId kPlayModeButton = 0x16012B1F;    // 超级按钮_全部播放
inline constexpr ControlId kTimeLabel = 0x16012AE0;         // 标签时间
inline constexpr ControlId kLyricsTimer = 0x16012ABA;       // 时钟_歌词
inline constexpr ControlId kPlayListToggle = 0x16012AB9;    // 超级按钮_打开列表
inline constexpr ControlId kSpectrumTimer = 0x16012AA3;     // 时钟_API频谱
inline constexpr ControlId kIdleTimer = 0x16012AA4;         // 时钟_进度条频谱
inline constexpr ControlId kStatusTimer = 0x16012AA5;       // 时钟_播放判断
inline constexpr ControlId kCommonDialog = 0x16012AA6;      // 通用对话框1
inline constexpr ControlId kVolumeButton = 0x16012A42;      // 超级按钮_音量
inline constexpr ControlId kOpenButton = 0x16012A41;        // 超级按钮_打开
inline constexpr ControlId kNextButton = 0x16012A40;        // 超级按钮_下一曲
inline constexpr ControlId kPreviousButton = 0x16012A3F;    // 超级按钮_上一曲
inline constexpr ControlId kPlayPauseButton = 0x16012A3E;   // 超级按钮_播放_暂停
inline constexpr ControlId kSliderFrame = 0x16012A25;       // 外形框2

// Exit confirmation window.
inline constexpr ControlId kExitDialogSelf = 0x060101CF;
inline constexpr ControlId kExitClose = 0x16014F48;    // 超级按钮7
inline constexpr ControlId kExitCancel = 0x16012BF0;   // 超级按钮1
inline constexpr ControlId kExitConfirm = 0x16012BEF;  // 超级按钮3

// Clear-list confirmation window.
inline constexpr ControlId kClearDialogSelf = 0x06012C05;
inline constexpr ControlId kClearClose = 0x16014F47;    // 超级按钮7
inline constexpr ControlId kClearCancel = 0x16012C07;   // 超级按钮1
inline constexpr ControlId kClearConfirm = 0x16012C08;  // 超级按钮3

// Property indexes the application uses.
inline constexpr int kPropLeft = 0, kPropTop = 1, kPropWidth = 2, kPropHeight = 3;
inline constexpr int kPropTag = 4, kPropVisible = 5, kPropDisabled = 6, kPropPointer = 7;
inline constexpr int kPropCaption = 8;          // Label, TransLabel; EditBox content
inline constexpr int kPropButtonCaption = 22;   // SuperBtn
inline constexpr int kPropButtonTooltip = 33;   // SuperBtn
inline constexpr int kPropChecked = 18;         // CheckBox
inline constexpr int kPropOutline = 13, kPropFill = 14;  // ShapeBox
inline constexpr int kPropSliderMin = 17, kPropSliderMax = 18, kPropSliderPos = 19;
inline constexpr int kPropBarMax = 16, kPropBarPos = 17;  // SuperBar
inline constexpr int kPropInterval = 8;         // Timer
inline constexpr int kPropPicture = 10, kPropPictureMode = 11;  // PicBox
inline constexpr int kPropPenWidth = 16, kPropPenColour = 17;  // DrawPanel
inline constexpr int kPropSelectedRow = 35, kPropAllRows = 37;  // ListView

}  // namespace vorel::ids

#endif  // VOREL_RUNTIME_WINDOW_IDS_H_
