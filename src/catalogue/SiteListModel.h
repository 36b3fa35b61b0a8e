#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QStringList>

class SiteDatabase;

// A list of sites for a view, held as catalogue rows: the names stay in the catalogue, so a list
// of a million sites costs eight bytes a site, or nothing at all for the whole catalogue in its
// order. A name the catalogue does not hold is kept as text. Every change goes through the
// model, which tells its views before and after it changes the list, so a view hears of 100,000
// rows in one batch.
class SiteListModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit SiteListModel(const SiteDatabase& catalogue, QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(SiteListModel)

    qsizetype count() const;
    QString name(qsizetype index) const;
    // The catalogue row of each entry; a negative one for a name the catalogue does not hold.
    const QList<qsizetype>& rows() const { return m_rows; }
    QStringList names() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The whole catalogue, in its order.
    void showWholeCatalogue();
    // Rows added at the end: views keep their highlighting.
    void append(const QList<qsizetype>& rows);
    // Anything else: views start afresh.
    void setRows(QList<qsizetype> rows, QStringList unknownNames = {});

private:
    const SiteDatabase& m_catalogue;
    bool m_wholeCatalogue = false;
    QList<qsizetype> m_rows;    // unless the whole catalogue is shown
    QStringList m_unknownNames; // row -1 is the first, -2 the second …
};
