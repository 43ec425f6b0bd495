// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QList>

// One installed voice. The id is opaque to callers; only the engine that
// listed the token knows how to select it again.
class SpObjectToken
{
public:
    SpObjectToken() = default;
    SpObjectToken(QString id, QString description, QString language = {})
        : m_id(std::move(id)), m_description(std::move(description)), m_language(std::move(language))
    { }

    // The voice's display name. Only one (neutral) description is stored,
    // so the locale is accepted for shape and otherwise ignored.
    QString GetDescription(int locale = 0) const
    {
        Q_UNUSED(locale);
        return m_description;
    }

    const QString &id() const { return m_id; }
    const QString &language() const { return m_language; }

    bool operator==(const SpObjectToken &other) const = default;

private:
    QString m_id;
    QString m_description;
    QString m_language;
};

// The voices of an engine, in the engine's fixed order. Positions count from 0.
class SpObjectTokens
{
public:
    SpObjectTokens() = default;
    explicit SpObjectTokens(QList<SpObjectToken> tokens) : m_tokens(std::move(tokens)) { }

    long Count() const { return long(m_tokens.size()); }
    // Throws Failure when the position is outside the collection.
    const SpObjectToken &Item(long index) const;

    auto begin() const { return m_tokens.cbegin(); }
    auto end() const { return m_tokens.cend(); }

private:
    QList<SpObjectToken> m_tokens;
};
