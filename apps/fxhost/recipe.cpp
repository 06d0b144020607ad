#include "recipe.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QLineF>
#include <QPointF>
#include <QRegularExpression>
#include <cmath>
#include <tfx.h>
#include <tfxstack.h>
#include <tparambool.h>
#include <tparamchoices.h>
#include <tparamcurve.h>
#include <tparamdrawmask.h>
#include <tparamfloat.h>
#include <tparamgroup.h>
#include <tparamint.h>

namespace {
const QString commonGroup = QStringLiteral("TFxCommon");

// 1-based line and column of a byte offset, for parse errors a person can find.
QString position(const QByteArray &text, int offset)
{
    const QByteArray before = text.left(offset);
    const int line = before.count('\n') + 1;
    const int column = offset - (before.lastIndexOf('\n') + 1) + 1;
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

QString effectName(int index, const QString &key)
{
    return QStringLiteral("effect %1 (\"%2\")").arg(index + 1).arg(key);
}

bool readEffect(const QJsonValue &value, int index, Recipe::Effect &effect, QString &error)
{
    if (!value.isObject()) {
        error = QStringLiteral("effect %1: not an object").arg(index + 1);
        return false;
    }
    const QJsonObject object = value.toObject();
    effect.key = object.value("key").toString();
    if (effect.key.isEmpty()) {
        error = QStringLiteral("effect %1: no \"key\"").arg(index + 1);
        return false;
    }
    const QString name = effectName(index, effect.key);
    static const QStringList known = { "key", "params", "opacity", "masked", "mask" };
    for (const QString &field : object.keys()) {
        if (!known.contains(field)) {
            error = name + QStringLiteral(": unknown field \"%1\"").arg(field);
            return false;
        }
    }
    const QJsonValue params = object.value("params"), opacity = object.value("opacity"),
                     masked = object.value("masked"), mask = object.value("mask");
    if (!(params.isUndefined() || params.isObject()) || !(opacity.isUndefined() || opacity.isDouble())
        || !(masked.isUndefined() || masked.isBool()) || !(mask.isUndefined() || mask.isArray())) {
        error = name
            + QStringLiteral(": \"params\" must be an object, \"opacity\" a number, \"masked\" true or "
                             "false and \"mask\" a list");
        return false;
    }
    effect.params = params.toObject();
    effect.opacity = opacity.toDouble(1.0);
    if (!(effect.opacity >= 0.0 && effect.opacity <= 1.0)) {
        error = name + QStringLiteral(": \"opacity\" %1 is outside 0 to 1").arg(effect.opacity);
        return false;
    }
    effect.masked = masked.toBool(false);
    effect.mask = mask.toArray();
    return true;
}
}

bool Recipe::fromJson(const QByteArray &text, Recipe &recipe, QString &error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = QStringLiteral("malformed JSON at %1: %2")
                    .arg(position(text, parseError.offset), parseError.errorString());
        return false;
    }
    if (!document.isObject()) {
        error = QStringLiteral("a recipe is a JSON object with \"version\" and \"effects\"");
        return false;
    }
    const QJsonObject root = document.object();
    if (root.value("version").toInt(-1) != version) {
        error = QStringLiteral("unsupported recipe version %1 (this fxhost reads version %2)")
                    .arg(root.value("version").toVariant().toString())
                    .arg(version);
        return false;
    }
    if (!root.value("effects").isArray()) {
        error = QStringLiteral("\"effects\" must be a list");
        return false;
    }
    Recipe result;
    const QJsonArray effects = root.value("effects").toArray();
    for (int i = 0; i < effects.size(); ++i) {
        Effect effect;
        if (!readEffect(effects.at(i), i, effect, error))
            return false;
        result.effects.append(effect);
    }
    recipe = result;
    return true;
}

QByteArray Recipe::toJson() const
{
    QJsonArray list;
    for (const Effect &effect : effects) {
        QJsonObject object { { "key", effect.key }, { "params", effect.params }, { "opacity", effect.opacity },
            { "masked", effect.masked } };
        if (!effect.mask.isEmpty())
            object.insert("mask", effect.mask);
        list.append(object);
    }
    return QJsonDocument(QJsonObject { { "version", version }, { "effects", list } }).toJson(QJsonDocument::Indented);
}

bool Recipe::addFx(const QString &fxText, QString &error)
{
    Effect effect;
    const int colon = fxText.indexOf(':');
    effect.key = fxText.left(colon).trimmed();
    if (effect.key.isEmpty()) {
        error = QStringLiteral("--fx \"%1\": no effect key").arg(fxText);
        return false;
    }
    if (colon >= 0) {
        for (const QString &pair : fxText.mid(colon + 1).split(',', Qt::SkipEmptyParts)) {
            const int equals = pair.indexOf('=');
            const QString key = pair.left(equals).trimmed(), text = pair.mid(equals + 1).trimmed();
            if (equals <= 0 || text.isEmpty()) {
                error = QStringLiteral("--fx \"%1\": expected param=value, not \"%2\"").arg(fxText, pair);
                return false;
            }
            bool isNumber = false;
            const double number = text.toDouble(&isNumber);
            if (isNumber)
                effect.params.insert(key, number);
            else if (text == "true" || text == "false")
                effect.params.insert(key, text == "true");
            else
                effect.params.insert(key, text);
        }
    }
    effects.append(effect);
    return true;
}
