#pragma once

#include <QObject>
#include <QString>
#include <QVariantList>

#include <optional>

// Which page the main window shows: the one piece of navigation state that the
// sidebar, the dashboard, the tray menu, the settings action and the
// controller's attention hook all write. Survives the window's closing.
class Navigation final : public QObject
{
    Q_OBJECT

    Q_PROPERTY(Page page READ page WRITE setPage NOTIFY pageChanged)
    // One entry per page, in sidebar order: {page, name, label, symbol}.
    Q_PROPERTY(QVariantList entries READ entries CONSTANT)

public:
    // In this order everywhere they are listed.
    enum class Page { Dashboard, Corrector, Translator, Meetings, History, Dictionary, Settings };
    Q_ENUM(Page)

    // No default: QML takes the root's instance from the module's singleton factory.
    explicit Navigation(QObject *parent);

    Page page() const { return page_; }
    // Assigning the page already shown notifies nobody.
    void setPage(Page page);

    static QList<Page> all();
    // "dashboard", "corrector"…: the name of the page's file and snapshot.
    Q_INVOKABLE static QString name(Page page);
    static std::optional<Page> fromName(const QString &name);
    // "Tableau de bord"…
    Q_INVOKABLE static QString label(Page page);
    // The kit's symbol name of the sidebar entry.
    Q_INVOKABLE static QString symbol(Page page);
    QVariantList entries() const;

Q_SIGNALS:
    void pageChanged();

private:
    Page page_ = Page::Dashboard;
};
