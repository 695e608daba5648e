#include "FRWPageFactory.h"

#include "FRWPlaceholderViewController.h"

void FRWPageFactory::registerPage(const QString& key, Maker maker)
{
    if (maker) {
        m_makers[key] = std::move(maker);
    } else {
        m_makers.erase(key);
    }
}

bool FRWPageFactory::hasPage(const QString& key) const
{
    return m_makers.count(key) != 0;
}

std::unique_ptr<FRWViewController> FRWPageFactory::make(const QString& key) const
{
    if (const auto found = m_makers.find(key); found != m_makers.end()) {
        if (auto page = found->second()) {
            return page;
        }
    }
    return std::make_unique<FRWPlaceholderViewController>(FRWPlaceholderViewController::titleForKey(key));
}
