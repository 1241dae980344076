#include "ui/NameList.h"

#include <QEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>

#include <algorithm>

namespace quorvane {
namespace {

constexpr auto kDrawnGap = u" \u2026 ";

bool IsContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u;
}

QString Decoded(std::string_view bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Shows the tooltip of the widget it watches as plain text.
class PlainToolTip final : public QObject {
public:
    PlainToolTip(QWidget *widget, QObject *parent) : QObject(parent), m_widget(widget) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::ToolTip) {
            return QObject::eventFilter(watched, event);
        }
        const QString text = m_widget->toolTip();
        const auto *help = static_cast<QHelpEvent *>(event);
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), PlainTextAsRichText(text), m_widget);
        }
        return true;
    }

private:
    QWidget *m_widget;
};

} // namespace

QString DrawnText(std::string_view bytes, qsizetype longest)
{
    // Up to four bytes make a character: only a text of more than four bytes per character drawn
    // can be too long, and then only its ends are decoded.
    const auto ends = std::min(kDrawnEnds, longest / 2);
    const auto byteLimit = static_cast<std::size_t>(longest) * 4;
    if (bytes.size() <= byteLimit) {
        QString whole = Decoded(bytes);
        if (whole.size() <= longest) {
            return whole;
        }
    }
    const auto endBytes = static_cast<std::size_t>(ends) * 4;
    QString head = Decoded(bytes.substr(0, std::min(bytes.size(), endBytes))).left(ends);
    if (!head.isEmpty() && head.back().isHighSurrogate()) {
        head.chop(1);
    }
    std::size_t tailStart = bytes.size() - std::min(bytes.size(), endBytes);
    while (tailStart < bytes.size() && IsContinuationByte(bytes[tailStart])) {
        ++tailStart;
    }
    QString tail = Decoded(bytes.substr(tailStart)).right(ends);
    if (!tail.isEmpty() && tail.front().isLowSurrogate()) {
        tail.remove(0, 1);
    }
    return head + QString::fromUtf16(kDrawnGap) + tail;
}

QString PlainTextAsRichText(const QString &text)
{
    // Unwrapped, as a plain tooltip shows it.
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

void ShowToolTipAsPlainText(QWidget *widget, QWidget *eventSource)
{
    QWidget *source = eventSource ? eventSource : widget;
    source->installEventFilter(new PlainToolTip(widget, source));
}

NameListModel::NameListModel(QObject *parent)
    : QAbstractListModel(parent), m_names(std::make_shared<const std::vector<std::string>>())
{
}

void NameListModel::SetNames(std::vector<std::string> names)
{
    beginResetModel();
    m_names = std::make_shared<const std::vector<std::string>>(std::move(names));
    endResetModel();
}

void NameListModel::Clear()
{
    if (!m_names->empty()) {
        SetNames({});
    }
}

int NameListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Count();
}

QVariant NameListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= Count()) {
        return {};
    }
    return role == Qt::DisplayRole ? QVariant(DrawnText(Name(index.row()))) : QVariant();
}

NameListView::NameListView(QWidget *parent) : QListView(parent), m_model(new NameListModel(this))
{
    setModel(m_model);
    // One line a name: the view measures one row, not 150,000.
    setUniformItemSizes(true);
    setWordWrap(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    ShowToolTipAsPlainText(this);
    ShowToolTipAsPlainText(this, viewport());
}

int NameListView::currentRow() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void NameListView::setCurrentRow(int row)
{
    setCurrentIndex(m_model->index(row, 0));
}

const std::string *NameListView::CurrentName() const
{
    const int row = currentRow();
    return row >= 0 && row < m_model->Count() ? &m_model->Name(row) : nullptr;
}

std::vector<int> NameListView::SelectedRows() const
{
    std::vector<int> rows;
    // Ranges rather than single indexes: selecting 150,000 names is one range.
    for (const QItemSelectionRange &range : selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            rows.push_back(row);
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void NameListView::keyPressEvent(QKeyEvent *event)
{
    const int before = currentRow();
    QListView::keyPressEvent(event);
    if (currentRow() != before) {
        emit CurrentMovedByKeyboard();
    }
}

} // namespace quorvane
