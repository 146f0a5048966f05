#pragma once
// Resource paths of the program's icons, spelled once. Each icon has a main
// drawing on a 32 px grid and, where detail would blur, extra drawings on a
// 16 px and a 24 px grid; vq::icon() (icons.h) picks the right one per size.

#include <QStringView>

#include <array>

namespace vq::icons {

struct IconSet
{
    QStringView name;   // file stem, also the alias in icons.qrc
    QStringView main;   // 32 px grid
    QStringView px16;   // 16 px grid, empty when main serves
    QStringView px24;   // 24 px grid, empty when main serves
};

// File list and tree
inline constexpr IconSet folderClosed{u"folder_closed", u":/icons/folder_closed.svg", {}, {}};
inline constexpr IconSet folderOpen{u"folder_open", u":/icons/folder_open.svg", {}, {}};
inline constexpr IconSet page{u"page", u":/icons/page.svg", {}, {}};
inline constexpr IconSet preset{u"preset", u":/icons/preset.svg", u":/icons/preset_16.svg", {}};
inline constexpr IconSet download{u"download", u":/icons/download.svg", {}, {}};
inline constexpr IconSet logo{u"logo", u":/icons/logo.svg", {}, {}};
inline constexpr IconSet sequence{u"sequence", u":/icons/sequence.svg", u":/icons/sequence_16.svg", {}};
inline constexpr IconSet picture{u"picture", u":/icons/picture.svg", {}, {}};
inline constexpr IconSet signal{u"signal", u":/icons/signal.svg", {}, {}};
inline constexpr IconSet driveOk{u"drive_ok", u":/icons/drive_ok.svg", {}, {}};
inline constexpr IconSet driveBad{u"drive_bad", u":/icons/drive_bad.svg", {}, {}};
inline constexpr IconSet generator{u"generator", u":/icons/generator.svg", u":/icons/generator_16.svg", {}};
inline constexpr IconSet generatorSelected{u"generator_selected", u":/icons/generator_selected.svg", u":/icons/generator_selected_16.svg", {}};

// Tool bar and application
inline constexpr IconSet pcToVq{u"pc_to_vq", u":/icons/pc_to_vq.svg", u":/icons/pc_to_vq_16.svg", {}};
inline constexpr IconSet vqToPc{u"vq_to_pc", u":/icons/vq_to_pc.svg", u":/icons/vq_to_pc_16.svg", {}};
inline constexpr IconSet upOneLevel{u"up_one_level", u":/icons/up_one_level.svg", {}, {}};
inline constexpr IconSet viewLargeIcons{u"view_large_icons", u":/icons/view_large_icons.svg", u":/icons/view_large_icons_16.svg", u":/icons/view_large_icons_24.svg"};
inline constexpr IconSet viewSmallIcons{u"view_small_icons", u":/icons/view_small_icons.svg", u":/icons/view_small_icons_16.svg", u":/icons/view_small_icons_24.svg"};
inline constexpr IconSet viewList{u"view_list", u":/icons/view_list.svg", u":/icons/view_list_16.svg", u":/icons/view_list_24.svg"};
inline constexpr IconSet viewDetails{u"view_details", u":/icons/view_details.svg", u":/icons/view_details_16.svg", u":/icons/view_details_24.svg"};
inline constexpr IconSet app{u"app", u":/icons/app.svg", u":/icons/app_16.svg", {}};
inline constexpr IconSet network{u"network", u":/icons/network.svg", {}, {}};

inline constexpr std::array all{
    folderClosed,
    folderOpen,
    page,
    preset,
    download,
    logo,
    sequence,
    picture,
    signal,
    driveOk,
    driveBad,
    generator,
    generatorSelected,
    pcToVq,
    vqToPc,
    upOneLevel,
    viewLargeIcons,
    viewSmallIcons,
    viewList,
    viewDetails,
    app,
    network,
};

} // namespace vq::icons
