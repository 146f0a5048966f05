#pragma once

// Command ids of menus, tool bar and context menus, with their fixed numbers.
enum CommandId : int
{
    ID_PC_TO_VQ = 32771,
    ID_VQ_TO_PC = 32772,
    ID_NEW_FOLDER = 32773,
    ID_DELETE_ITEM = 32774,
    ID_RENAME_ITEM = 32775,
    ID_VIEW_LARGE_ICONS = 32777,
    ID_VIEW_SMALL_ICONS = 32778,
    ID_VIEW_DETAIL = 32779,
    ID_SORT_BY_NAME = 32780,
    ID_SORT_BY_SIZE = 32781,
    ID_REFRESH = 32783,
    ID_NETWORK = 32784,
    ID_EXPLORE = 32786,
    ID_TREE_EXPLORE = 32790,
    ID_TREE_RENAME = 32792,
    ID_OPTIONS = 32794,
    ID_CHECK_ERROR = 32795,
    ID_UP_ONE_LEVEL = 32796,
    ID_SEND_MANY = 32797,
    ID_COMPARE_FOLDER = 32798,
    ID_BACKUP = 32799,
    ID_RESTORE = 32800,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
    ID_VIEW_LIST = 59410,
};

// Status bar panes after the message pane.
enum IndicatorId : int
{
    ID_INDICATOR_OBJECTS = 59142,
    ID_INDICATOR_MEMORY = 59143,
};
