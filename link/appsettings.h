#pragma once

#include "link/settingsnames.h"

#include <QString>
#include <QStringView>

// Main window placement as kept between runs.
struct WindowPlacement
{
    int left = -1;
    int top = -1;
    int width = 720;
    int height = 560;
    int treeWidth = 200;
};

// File list state as kept between runs.
struct ListViewState
{
    int mode = 0;
    int sortKey = 1;
    int firstColumnWidth = vqsettings::DEFAULT_NAME_COLUMN_WIDTH;
    int secondColumnWidth = vqsettings::DEFAULT_SIZE_COLUMN_WIDTH;
};

// The numbers of the "PrivateSetting" value and the text form they are stored
// in. The stored text must stay readable by every version, so its format is
// fixed, the literal "&d" in the seventh place included.
class CAppSettings final
{
public:
    static constexpr int DEFAULT_NINTH_VALUE = 110;

    CAppSettings() = default;

    // Resets every number to its default, then reads `text` field by field;
    // reading stops at the first field that does not match, the fields after
    // it keep their defaults. Returns the number of numbers taken.
    int Parse(QStringView text);
    // The stored form: "%d, %d, %d, %d, %d, %ld, &d, %d, %d, %d".
    QString Format() const;

    WindowPlacement GetWindowPlacement() const { return m_placement; }
    void SetWindowPlacement(const WindowPlacement& placement) { m_placement = placement; }
    ListViewState GetListViewState() const { return m_listState; }
    void SetListViewState(const ListViewState& state) { m_listState = state; }
    int NinthValue() const { return m_nNinthValue; }

private:
    void ApplyZeroRules();

    WindowPlacement m_placement;
    ListViewState m_listState;
    int m_nNinthValue = DEFAULT_NINTH_VALUE; // kept only to be written back
};
