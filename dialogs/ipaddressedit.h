#pragma once

#include <QString>
#include <QWidget>

#include <array>
#include <optional>

class QLineEdit;

// An IPv4 address entry: four fields of 0 to 255 with dots between them.
// Typing "." in a field that holds a number moves on to the next field, so
// does a third digit, and the dot typed right after such a move is taken as
// that move's; Backspace at the start of a field goes back one. A dotted
// address pasted into a field fills all four. An empty field reads as 0.
class CIpAddressEdit final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CIpAddressEdit)

public:
    static constexpr int FIELD_COUNT = 4;

    explicit CIpAddressEdit(QWidget* parent = nullptr);

    // The four numbers of a dotted address, each reduced to its low eight
    // bits; nothing when `text` is not four dot-separated decimal numbers.
    static std::optional<std::array<int, FIELD_COUNT>> ParseAddress(QStringView text);

    void SetAddress(const std::array<int, FIELD_COUNT>& fields);
    void ClearAddress();
    // True while every field is empty.
    int IsBlank() const;
    // The field's number; an empty field reads as 0.
    int Field(int index) const;
    // "%d.%d.%d.%d" of the four fields.
    QString Text() const;
    QLineEdit* FieldEdit(int index) const { return m_fields.at(std::size_t(index)); }
    // Gives field `index` the focus with its text selected, so typing replaces it.
    void SelectField(int index) { FocusField(index, true); }
    // 1 when `text` (blanks around it aside) was a dotted address and went into the fields.
    int PasteAddress(const QString& text);

Q_SIGNALS:
    // The user changed a field.
    void AddressEdited();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int IndexOf(const QObject* edit) const;
    void FocusField(int index, bool selectAll);
    // The fields' context menu, its Paste taking whole addresses too.
    void ShowContextMenu(QLineEdit* edit, const QPoint& globalPos);

    std::array<QLineEdit*, FIELD_COUNT> m_fields{};
    // A full field has just moved the focus on by itself.
    bool m_bJumped = false;
};
