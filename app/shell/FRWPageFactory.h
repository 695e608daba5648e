#pragma once

#include <functional>
#include <map>
#include <memory>

#include <QString>

class FRWViewController;

/// Makes the main window's pages by key. Screens register a maker for their key; any key without
/// one gets the placeholder page titled after the key.
class FRWPageFactory {
public:
    using Maker = std::function<std::unique_ptr<FRWViewController>()>;

    void registerPage(const QString& key, Maker maker);
    bool hasPage(const QString& key) const;
    /// A new page that has not loaded its view yet; never null.
    std::unique_ptr<FRWViewController> make(const QString& key) const;

private:
    std::map<QString, Maker> m_makers;
};
