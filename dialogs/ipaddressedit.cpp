#include "dialogs/ipaddressedit.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

#include <memory>
#include <utility>

using namespace Qt::StringLiterals;

CIpAddressEdit::CIpAddressEdit(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    // 0 to 255 without leading zeros; anything else is refused as it is typed.
    const QRegularExpression field(u"^(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])?$"_s);
    for (int i = 0; i < FIELD_COUNT; ++i) {
        if (i > 0)
            layout->addWidget(new QLabel(u"."_s, this));
        auto* edit = new QLineEdit(this);
        edit->setValidator(new QRegularExpressionValidator(field, edit));
        edit->setMaxLength(3);
        edit->setAlignment(Qt::AlignCenter);
        edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(u"0000"_s) + 12);
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            // A full field moves on, as the address controls users know do.
            if (text.size() == 3 && i + 1 < FIELD_COUNT) {
                FocusField(i + 1, true);
                m_bJumped = true;
            }
            Q_EMIT AddressEdited();
        });
        m_fields[std::size_t(i)] = edit;
        layout->addWidget(edit);
    }
    layout->addStretch(1);
    setFocusProxy(m_fields[0]);
}

std::optional<std::array<int, CIpAddressEdit::FIELD_COUNT>> CIpAddressEdit::ParseAddress(QStringView text)
{
    std::array<int, FIELD_COUNT> fields{};
    qsizetype pos = 0;
    for (int i = 0; i < FIELD_COUNT; ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != u'.')
                return std::nullopt;
            ++pos;
        }
        const qsizetype start = pos;
        int low = 0;
        // Modulo 256 as we go: any length of digits, no overflow.
        while (pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9') {
            low = (low * 10 + (text[pos].unicode() - u'0')) & 0xFF;
            ++pos;
        }
        if (pos == start)
            return std::nullopt;
        fields[std::size_t(i)] = low;
    }
    if (pos != text.size())
        return std::nullopt;
    return fields;
}

void CIpAddressEdit::SetAddress(const std::array<int, FIELD_COUNT>& fields)
{
    for (int i = 0; i < FIELD_COUNT; ++i)
        m_fields[std::size_t(i)]->setText(QString::number(fields[std::size_t(i)] & 0xFF));
}

void CIpAddressEdit::ClearAddress()
{
    for (QLineEdit* edit : m_fields)
        edit->clear();
}

int CIpAddressEdit::IsBlank() const
{
    for (const QLineEdit* edit : m_fields) {
        if (!edit->text().isEmpty())
            return 0;
    }
    return 1;
}

int CIpAddressEdit::Field(int index) const
{
    // The validator lets nothing but 0 to 255 in; an empty field gives 0.
    return m_fields.at(std::size_t(index))->text().toInt();
}

QString CIpAddressEdit::Text() const
{
    return u"%1.%2.%3.%4"_s.arg(Field(0)).arg(Field(1)).arg(Field(2)).arg(Field(3));
}

int CIpAddressEdit::PasteAddress(const QString& text)
{
    const auto fields = ParseAddress(text.trimmed());
    if (!fields)
        return 0;
    SetAddress(*fields);
    FocusField(FIELD_COUNT - 1, false);
    Q_EMIT AddressEdited();
    return 1;
}

void CIpAddressEdit::ShowContextMenu(QLineEdit* edit, const QPoint& globalPos)
{
    const std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
    // The field's own Paste, found by its text in whatever language it speaks.
    const QString paste = QCoreApplication::translate("QLineEdit", "&Paste");
    for (QAction* action : menu->actions()) {
        if (!action->text().startsWith(paste))
            continue;
        QObject::disconnect(action, nullptr, edit, nullptr);
        connect(action, &QAction::triggered, edit, [this, edit] {
            const QString text = QGuiApplication::clipboard()->text();
            if (!PasteAddress(text))
                edit->insert(text);
        });
    }
    menu->exec(globalPos);
}

bool CIpAddressEdit::eventFilter(QObject* watched, QEvent* event)
{
    const int index = IndexOf(watched);
    if (index >= 0 && event->type() == QEvent::ContextMenu) {
        ShowContextMenu(m_fields[std::size_t(index)], static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    if (index >= 0 && event->type() == QEvent::FocusIn &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::OtherFocusReason) {
        // The user went to a field himself: the next dot is a dot of its own.
        m_bJumped = false;
    }
    if (index >= 0 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QLineEdit* edit = m_fields[std::size_t(index)];
        // A modifier pressed on its own (Shift for the dot on some keyboards) is no key of its own.
        const bool modifier = key->key() == Qt::Key_Shift || key->key() == Qt::Key_Control ||
                              key->key() == Qt::Key_Alt || key->key() == Qt::Key_AltGr ||
                              key->key() == Qt::Key_Meta;
        const bool jumped = modifier ? m_bJumped : std::exchange(m_bJumped, false);
        if (key->matches(QKeySequence::Paste) && PasteAddress(QGuiApplication::clipboard()->text()))
            return true;
        if (key->text() == u"."_s) {
            // The dot after a move made by a full field belongs to that move,
            // whatever the next field holds; one in an empty field goes nowhere.
            if (!jumped && index + 1 < FIELD_COUNT && !edit->text().isEmpty())
                FocusField(index + 1, true);
            return true;
        }
        if (key->key() == Qt::Key_Backspace && edit->cursorPosition() == 0 && !edit->hasSelectedText() &&
            index > 0) {
            FocusField(index - 1, false);
            return true;
        }
        if (key->key() == Qt::Key_Left && edit->cursorPosition() == 0 && index > 0) {
            FocusField(index - 1, false);
            return true;
        }
        if (key->key() == Qt::Key_Right && edit->cursorPosition() == edit->text().size() &&
            index + 1 < FIELD_COUNT) {
            FocusField(index + 1, false);
            m_fields[std::size_t(index + 1)]->setCursorPosition(0);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

int CIpAddressEdit::IndexOf(const QObject* edit) const
{
    for (int i = 0; i < FIELD_COUNT; ++i) {
        if (m_fields[std::size_t(i)] == edit)
            return i;
    }
    return -1;
}

void CIpAddressEdit::FocusField(int index, bool selectAll)
{
    QLineEdit* edit = m_fields.at(std::size_t(index));
    edit->setFocus(Qt::OtherFocusReason);
    if (selectAll)
        edit->selectAll();
    else
        edit->setCursorPosition(int(edit->text().size()));
}
