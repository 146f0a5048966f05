#pragma once
// Resource paths of the program's icons, spelled once. Each icon has a main
// drawing on a 32 px grid and, where detail would blur, extra drawings on a
// 16 px and a 24 px grid; MakeIcon() (icons.h) picks the right one per size.

#include <QStringView>

#include <array>

struct CIconSet
{
    QStringView m_strName; // file stem, also the alias in icons.qrc
    QStringView m_strMain; // 32 px grid
    QStringView m_strPx16; // 16 px grid, empty when the main drawing serves
    QStringView m_strPx24; // 24 px grid, empty when the main drawing serves
};

// File list and tree
inline constexpr CIconSet ICON_FOLDER_CLOSED{u"folder_closed", u":/icons/folder_closed.svg", {}, {}};
inline constexpr CIconSet ICON_FOLDER_OPEN{u"folder_open", u":/icons/folder_open.svg", {}, {}};
inline constexpr CIconSet ICON_PAGE{u"page", u":/icons/page.svg", {}, {}};
inline constexpr CIconSet ICON_PRESET{u"preset", u":/icons/preset.svg", u":/icons/preset_16.svg", {}};
inline constexpr CIconSet ICON_DOWNLOAD{u"download", u":/icons/download.svg", {}, {}};
inline constexpr CIconSet ICON_LOGO{u"logo", u":/icons/logo.svg", {}, {}};
inline constexpr CIconSet ICON_SEQUENCE{u"sequence", u":/icons/sequence.svg", u":/icons/sequence_16.svg", {}};
inline constexpr CIconSet ICON_PICTURE{u"picture", u":/icons/picture.svg", {}, {}};
inline constexpr CIconSet ICON_SIGNAL{u"signal", u":/icons/signal.svg", {}, {}};
inline constexpr CIconSet ICON_DRIVE_OK{u"drive_ok", u":/icons/drive_ok.svg", {}, {}};
inline constexpr CIconSet ICON_DRIVE_BAD{u"drive_bad", u":/icons/drive_bad.svg", {}, {}};
inline constexpr CIconSet ICON_GENERATOR{
    u"generator", u":/icons/generator.svg", u":/icons/generator_16.svg", {}};
inline constexpr CIconSet ICON_GENERATOR_SELECTED{
    u"generator_selected", u":/icons/generator_selected.svg", u":/icons/generator_selected_16.svg", {}};

// Tool bar and application
inline constexpr CIconSet ICON_PC_TO_VQ{u"pc_to_vq", u":/icons/pc_to_vq.svg", u":/icons/pc_to_vq_16.svg", {}};
inline constexpr CIconSet ICON_VQ_TO_PC{u"vq_to_pc", u":/icons/vq_to_pc.svg", u":/icons/vq_to_pc_16.svg", {}};
inline constexpr CIconSet ICON_UP_ONE_LEVEL{u"up_one_level", u":/icons/up_one_level.svg", {}, {}};
inline constexpr CIconSet ICON_VIEW_LARGE_ICONS{u"view_large_icons", u":/icons/view_large_icons.svg",
                                                u":/icons/view_large_icons_16.svg",
                                                u":/icons/view_large_icons_24.svg"};
inline constexpr CIconSet ICON_VIEW_SMALL_ICONS{u"view_small_icons", u":/icons/view_small_icons.svg",
                                                u":/icons/view_small_icons_16.svg",
                                                u":/icons/view_small_icons_24.svg"};
inline constexpr CIconSet ICON_VIEW_LIST{u"view_list", u":/icons/view_list.svg", u":/icons/view_list_16.svg",
                                         u":/icons/view_list_24.svg"};
inline constexpr CIconSet ICON_VIEW_DETAILS{u"view_details", u":/icons/view_details.svg",
                                            u":/icons/view_details_16.svg", u":/icons/view_details_24.svg"};
inline constexpr CIconSet ICON_APP{u"app", u":/icons/app.svg", u":/icons/app_16.svg", {}};
inline constexpr CIconSet ICON_NETWORK{u"network", u":/icons/network.svg", {}, {}};

inline constexpr std::array ALL_ICONS{
    ICON_FOLDER_CLOSED,
    ICON_FOLDER_OPEN,
    ICON_PAGE,
    ICON_PRESET,
    ICON_DOWNLOAD,
    ICON_LOGO,
    ICON_SEQUENCE,
    ICON_PICTURE,
    ICON_SIGNAL,
    ICON_DRIVE_OK,
    ICON_DRIVE_BAD,
    ICON_GENERATOR,
    ICON_GENERATOR_SELECTED,
    ICON_PC_TO_VQ,
    ICON_VQ_TO_PC,
    ICON_UP_ONE_LEVEL,
    ICON_VIEW_LARGE_ICONS,
    ICON_VIEW_SMALL_ICONS,
    ICON_VIEW_LIST,
    ICON_VIEW_DETAILS,
    ICON_APP,
    ICON_NETWORK,
};
