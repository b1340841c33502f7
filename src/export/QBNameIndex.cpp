#include "export/QBNameIndex.h"

void TQBNameIndex::Add(const QString& name, const QString& value) {
    if (!m_exact.contains(name))
        m_exact.insert(name, value);
    const QString key = Key(name);
    if (!m_folded.contains(key))
        m_folded.insert(key, value);
}

QString TQBNameIndex::Find(const QString& name) const {
    const auto exact = m_exact.constFind(name);
    if (exact != m_exact.cend())
        return *exact;
    return m_folded.value(Key(name));
}

QString TQBNameIndex::Key(const QString& name) {
    return name.trimmed().toCaseFolded();
}
