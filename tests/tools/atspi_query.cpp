// Reads windows through AT-SPI as a screen reader does, in a process of its own
// so that the application under test keeps answering on its main thread.
//   atspi_query dump <pid> <window name>          → JSON array of the nodes
//   atspi_query action <pid> <window name> <path> <action name>
// A path is the child indexes from the window down, joined by "/".
// Exit status: 0 done, 2 no accessibility bus, 3 window not found, 4 no such node
// or action.

#include <atspi/atspi.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cstdio>

namespace {

QString take(gchar *s)
{
    QString out = s ? QString::fromUtf8(s) : QString();
    g_free(s);
    return out;
}

AtspiAccessible *findWindow(qint64 pid, const QString &title)
{
    AtspiAccessible *desktop = atspi_get_desktop(0);
    const int apps = atspi_accessible_get_child_count(desktop, nullptr);
    AtspiAccessible *found = nullptr;
    for (int a = 0; a < apps && !found; ++a) {
        AtspiAccessible *app = atspi_accessible_get_child_at_index(desktop, a, nullptr);
        if (!app)
            continue;
        if (pid <= 0 || atspi_accessible_get_process_id(app, nullptr) == guint(pid)) {
            const int windows = atspi_accessible_get_child_count(app, nullptr);
            for (int w = 0; w < windows && !found; ++w) {
                AtspiAccessible *window = atspi_accessible_get_child_at_index(app, w, nullptr);
                if (window && take(atspi_accessible_get_name(window, nullptr)) == title)
                    found = window;
                else if (window)
                    g_object_unref(window);
            }
        }
        g_object_unref(app);
    }
    g_object_unref(desktop);
    return found;
}

void dump(AtspiAccessible *node, const QString &path, QJsonArray &out, int depth)
{
    QJsonObject o;
    o[QStringLiteral("path")] = path;
    o[QStringLiteral("role")] = take(atspi_accessible_get_role_name(node, nullptr));
    o[QStringLiteral("name")] = take(atspi_accessible_get_name(node, nullptr));
    o[QStringLiteral("description")] = take(atspi_accessible_get_description(node, nullptr));
    if (AtspiText *text = atspi_accessible_get_text_iface(node)) {
        const int n = atspi_text_get_character_count(text, nullptr);
        o[QStringLiteral("text")] = take(atspi_text_get_text(text, 0, n, nullptr));
        g_object_unref(text);
    }
    QJsonArray actions;
    if (AtspiAction *action = atspi_accessible_get_action_iface(node)) {
        const int n = atspi_action_get_n_actions(action, nullptr);
        for (int i = 0; i < n; ++i)
            actions.append(take(atspi_action_get_action_name(action, i, nullptr)));
        g_object_unref(action);
    }
    o[QStringLiteral("actions")] = actions;
    QJsonArray states;
    if (AtspiStateSet *set = atspi_accessible_get_state_set(node)) {
        GArray *list = atspi_state_set_get_states(set);
        for (guint i = 0; list && i < list->len; ++i) {
            const AtspiStateType state = g_array_index(list, AtspiStateType, i);
            GEnumClass *klass = G_ENUM_CLASS(g_type_class_ref(ATSPI_TYPE_STATE_TYPE));
            if (GEnumValue *value = g_enum_get_value(klass, state))
                states.append(QString::fromUtf8(value->value_nick));
            g_type_class_unref(klass);
        }
        if (list)
            g_array_free(list, TRUE);
        g_object_unref(set);
    }
    o[QStringLiteral("states")] = states;
    if (AtspiComponent *component = atspi_accessible_get_component_iface(node)) {
        if (AtspiRect *r = atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, nullptr)) {
            o[QStringLiteral("x")] = r->x;
            o[QStringLiteral("y")] = r->y;
            o[QStringLiteral("width")] = r->width;
            o[QStringLiteral("height")] = r->height;
            g_free(r);
        }
        g_object_unref(component);
    }
    out.append(o);
    if (depth > 40)
        return;
    const int children = atspi_accessible_get_child_count(node, nullptr);
    for (int i = 0; i < children; ++i) {
        AtspiAccessible *child = atspi_accessible_get_child_at_index(node, i, nullptr);
        if (!child)
            continue;
        dump(child, path.isEmpty() ? QString::number(i) : path + QLatin1Char('/') + QString::number(i), out, depth + 1);
        g_object_unref(child);
    }
}

AtspiAccessible *resolve(AtspiAccessible *window, const QString &path)
{
    AtspiAccessible *node = window;
    g_object_ref(node);
    for (const QString &part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        AtspiAccessible *child = atspi_accessible_get_child_at_index(node, part.toInt(), nullptr);
        g_object_unref(node);
        if (!child)
            return nullptr;
        node = child;
    }
    return node;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4)
        return 64;
    if (atspi_init() != 0 && !atspi_is_initialized())
        return 2;
    atspi_set_timeout(2000, 5000);
    AtspiAccessible *window = findWindow(args.at(2).toLongLong(), args.at(3));
    if (!window)
        return 3;
    int status = 0;
    if (args.at(1) == QLatin1String("dump")) {
        QJsonArray nodes;
        dump(window, QString(), nodes, 0);
        std::fputs(QJsonDocument(nodes).toJson(QJsonDocument::Compact).constData(), stdout);
    } else if (args.at(1) == QLatin1String("action") && args.size() >= 6) {
        status = 4;
        if (AtspiAccessible *node = resolve(window, args.at(4))) {
            if (AtspiAction *action = atspi_accessible_get_action_iface(node)) {
                const int n = atspi_action_get_n_actions(action, nullptr);
                for (int i = 0; i < n; ++i)
                    if (take(atspi_action_get_action_name(action, i, nullptr)) == args.at(5)) {
                        status = atspi_action_do_action(action, i, nullptr) ? 0 : 4;
                        break;
                    }
                g_object_unref(action);
            }
            g_object_unref(node);
        }
    } else if (args.at(1) == QLatin1String("select") && args.size() >= 7) {
        // The characters [start, end) of the node's text selected, as a screen reader does.
        status = 4;
        if (AtspiAccessible *node = resolve(window, args.at(4))) {
            if (AtspiText *text = atspi_accessible_get_text_iface(node)) {
                const int start = args.at(5).toInt();
                const int end = args.at(6).toInt();
                const bool done = atspi_text_get_n_selections(text, nullptr) > 0
                                      ? atspi_text_set_selection(text, 0, start, end, nullptr)
                                      : atspi_text_add_selection(text, start, end, nullptr);
                status = done ? 0 : 4;
                g_object_unref(text);
            }
            g_object_unref(node);
        }
    } else {
        status = 64;
    }
    g_object_unref(window);
    return status;
}
