// fxhost list: the effects and filters the plug-in directory offers, described from the objects
// themselves. Every effect is made once and every filter once under a scratch filter context,
// and their parameters, ports and slots are read through their meta-objects.
//
// The group every effect carries for its mask and opacity is listed once, as "common", from
// the first effect that has it; each effect says whether it has the group ("common": true).

#include "commands.h"
#include "commandsupport.h"
#include "paramdescription.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <memory>
#include <tfilter.h>
#include <tfiltercontext.h>
#include <tfx.h>
#include <tpluginfactory.h>

namespace {
QJsonObject readCatalogue()
{
    // The factory announces itself on standard output; the listing must stay clean.
    CommandSupport::QuietStdout quietStdout;
    TFilterContext context(nullptr);
    TPluginFactory *factory = context.filterFactoryPtr();
    QJsonObject common;
    QJsonArray effects, filters;
    for (const QString &key : factory->tfxs()) {
        std::unique_ptr<TFx> fx(factory->createTFx(key, key, nullptr));
        if (!fx) {
            effects.append(QJsonObject { { "key", key }, { "error", "the plug-in could not make it" } });
            continue;
        }
        const QObject *group
            = fx->findChild<QObject *>(QLatin1String(ParamDescription::commonGroup), Qt::FindDirectChildrenOnly);
        if (common.isEmpty() && group && group->inherits("TParam"))
            common = ParamDescription::describeParam(group);
        effects.append(ParamDescription::describeEffect(key, fx.get()));
    }
    for (const QString &key : factory->filters()) {
        std::unique_ptr<TFilter> filter(factory->createTFilter(key, key, &context));
        if (!filter) {
            filters.append(QJsonObject { { "key", key }, { "error", "the plug-in could not make it" } });
            continue;
        }
        QJsonObject description = ParamDescription::describeFilter(filter.get());
        description.insert(QStringLiteral("key"), key);
        description.insert(QStringLiteral("script"), filter->inherits("TFilterScript"));
        filters.append(description);
    }
    return QJsonObject { { "common", common }, { "effects", effects }, { "filters", filters } };
}

QString number(const QJsonValue &value)
{
    return value.isDouble()
        ? QString::number(value.toDouble())
        : QString::fromUtf8(QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

void printParams(QTextStream &out, const QJsonArray &params, const QString &indent)
{
    for (const QJsonValue &item : params) {
        const QJsonObject param = item.toObject();
        out << indent << param.value("key").toString() << " (" << param.value("class").toString();
        if (!param.value("kind").toString().isEmpty())
            out << ", " << param.value("kind").toString();
        out << ")";
        if (param.contains("vmin") && param.contains("vmax"))
            out << "  " << number(param.value("vmin")) << " .. " << number(param.value("vmax"));
        if (param.contains("default"))
            out << "  default " << number(param.value("default"));
        if (param.contains("choices"))
            out << "  choices: " << param.value("choices").toVariant().toStringList().join(", ");
        out << "\n"
            << indent << "    " << param.value("name").toString() << ": " << param.value("description").toString()
            << "\n";
        if (param.contains("params"))
            printParams(out, param.value("params").toArray(), indent + "    ");
    }
}

QString ports(const QJsonArray &list)
{
    QStringList names;
    for (const QJsonValue &item : list) {
        const QJsonObject port = item.toObject();
        names << QStringLiteral("%1 %2%3").arg(port.value("name").toString(), port.value("type").toString(),
            port.value("optional").toBool() ? QStringLiteral(" (optional)") : QString());
    }
    return names.isEmpty() ? QStringLiteral("none") : names.join(", ");
}

void printFilter(QTextStream &out, const QJsonObject &filter, const QString &indent, const QString &label)
{
    out << indent << label << filter.value("key").toString() << " (" << filter.value("class").toString() << ")";
    if (!filter.value("description").toString().isEmpty())
        out << ": " << filter.value("description").toString();
    out << "\n" << indent << "    in:  " << ports(filter.value("inports").toArray()) << "\n";
    out << indent << "    out: " << ports(filter.value("outports").toArray()) << "\n";
    QStringList slotList;
    for (const QJsonValue &slot : filter.value("slots").toArray()) {
        const QString returns = slot.toObject().value("returns").toString();
        slotList << slot.toObject().value("signature").toString() + (returns == "void" ? QString() : " -> " + returns);
    }
    if (!slotList.isEmpty())
        out << indent << "    slots: " << slotList.join(", ") << "\n";
    for (const QJsonValue &sub : filter.value("filters").toArray())
        printFilter(out, sub.toObject(), indent + "    ", QStringLiteral("sub-filter "));
}

void printText(QTextStream &out, const QJsonObject &catalogue)
{
    const QJsonArray effects = catalogue.value("effects").toArray();
    out << "Effects (" << effects.size() << "):\n";
    for (const QJsonValue &item : effects) {
        const QJsonObject fx = item.toObject();
        out << "  " << fx.value("key").toString() << " (" << fx.value("class").toString() << ")";
        if (fx.contains("error"))
            out << ": " << fx.value("error").toString();
        out << "\n";
        printParams(out, fx.value("params").toArray(), "    ");
    }
    const QJsonObject common = catalogue.value("common").toObject();
    if (!common.isEmpty()) {
        out << "\nCommon to every effect (group " << common.value("key").toString() << ", "
            << common.value("name").toString() << "):\n";
        printParams(out, common.value("params").toArray(), "    ");
    }
    const QJsonArray filters = catalogue.value("filters").toArray();
    out << "\nFilters (" << filters.size() << "):\n";
    for (const QJsonValue &item : filters)
        printFilter(out, item.toObject(), "  ", QString());
}

int list(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Lists every effect and filter the plug-in directory offers, with parameters, ports and slots."));
    CommandSupport::addCommonOptions(parser);
    parser.addOption({ QStringLiteral("json"), QStringLiteral("Print the listing as JSON.") });
    int exitCode = Commands::Success;
    if (!CommandSupport::parse(parser, arguments, "list", exitCode))
        return exitCode;
    if (!parser.positionalArguments().isEmpty())
        return CommandSupport::fail("list", QStringLiteral("takes no arguments (see --help)"), Commands::UsageError);
    const QJsonObject catalogue = readCatalogue();
    QTextStream out(stdout);
    if (parser.isSet(QStringLiteral("json")))
        out << QJsonDocument(catalogue).toJson(QJsonDocument::Indented);
    else
        printText(out, catalogue);
    return Commands::Success;
}
}

FXHOST_COMMAND("list", "Lists the effects and filters of the plug-in directory.", list)
