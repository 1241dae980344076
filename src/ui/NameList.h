#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QString>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

/// Names and paths are shown whole up to this many characters. A longer one is drawn as its first
/// and last kDrawnEnds characters around " … ": a list or a tooltip that laid out a name of
/// megabytes would hold up the window for seconds, and nobody reads such a name on screen. What
/// the program does with the name (copy, search, double-click) always takes it whole.
inline constexpr qsizetype kLongestDrawnText = 1000;
inline constexpr qsizetype kDrawnEnds = 100;
/// Paths are shown whole up to the longest path the system opens; a longer one names no file.
inline constexpr qsizetype kLongestDrawnPath = 4096;

/// How text held as bytes (UTF-8 names from a file, paths as the system gave them) is drawn: as
/// UTF-8, each byte that starts no valid sequence shown as U+FFFD, and shortened as above when it
/// is longer than longest characters.
QString DrawnText(std::string_view bytes, qsizetype longest = kLongestDrawnText);

/// Text as Qt's widgets show it literally: a tooltip or a message whose text starts like markup
/// would otherwise be taken for rich text, and a name from a file is never markup.
QString PlainTextAsRichText(const QString &text);

/// Shows widget's tooltip as plain text whatever it holds; events reach the filter through
/// eventSource (the widget itself, or a scroll area's viewport).
void ShowToolTipAsPlainText(QWidget *widget, QWidget *eventSource = nullptr);

/// A list of names as the lists of the windows hold them: the bytes as the scan gave them, in the
/// order given. The view asks only for the rows it draws, so a list of 150,000 names costs one
/// step to fill, and a name of megabytes only its drawn ends.
class NameListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    using Names = std::shared_ptr<const std::vector<std::string>>;

    explicit NameListModel(QObject *parent = nullptr);

    /// Replaces the names, keeping the order given.
    void SetNames(std::vector<std::string> names);
    void Clear();

    /// Every name, shared: a copy of the list in one step, for work off the window's thread.
    const Names &AllNames() const { return m_names; }
    const std::string &Name(int row) const { return (*m_names)[static_cast<std::size_t>(row)]; }
    int Count() const { return static_cast<int>(m_names->size()); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    /// The display role is the drawn form (DrawnText); Name(row) is the whole name.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    Names m_names;
};

/// The view of a NameListModel that the windows use for every list: one line per name, all of one
/// height, tooltips as plain text, and a signal when the current name moves by keyboard.
class NameListView final : public QListView {
    Q_OBJECT

public:
    explicit NameListView(QWidget *parent = nullptr);

    NameListModel &Names() { return *m_model; }
    const NameListModel &Names() const { return *m_model; }

    int currentRow() const;
    void setCurrentRow(int row);
    /// The whole name of the current row; nullptr when there is none.
    const std::string *CurrentName() const;
    /// The selected rows, in list order.
    std::vector<int> SelectedRows() const;

signals:
    /// The current row changed by a key press (an arrow, Page Down, Home...).
    void CurrentMovedByKeyboard();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    NameListModel *m_model;
};

} // namespace quorvane
