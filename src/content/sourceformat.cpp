// The names of the readable sources format: product file sections, link keys, offer settings.
#include "content/sourcereader.h"

namespace sourceformat {

const QStringList &itemSections()
{
    static const QStringList names = {QStringLiteral("description"),
                                      QStringLiteral("form"),
                                      QStringLiteral("effect"),
                                      QStringLiteral("prescriptions"),
                                      QStringLiteral("dose"),
                                      QStringLiteral("side_effects"),
                                      QStringLiteral("contra_indication"),
                                      QStringLiteral("special_conditions"),
                                      QStringLiteral("storage_instructions")};
    return names;
}

const std::vector<LinkKind> &linkKinds()
{
    static const std::vector<LinkKind> kinds = {
        {"groups", "items_to_sections", "section_id", "sections"},
        {"vendors", "items_to_vendors", "vendor_id", "vendors"},
        {"distributors", "items_to_distributors", "distributor_id", "distributors"},
        {"dealers", "items_to_dealers", "dealer_id", "dealers"}};
    return kinds;
}

const std::vector<OfferKey> &offerKeys()
{
    static const std::vector<OfferKey> keys = {{"version", contentmeta::ProgramVersion},
                                               {"link", contentmeta::DownloadLink},
                                               {"sha256", contentmeta::DownloadSha256},
                                               {"about", contentmeta::About},
                                               {"about_url", contentmeta::AboutUrl},
                                               {"details_text", contentmeta::DetailsText},
                                               {"details_url", contentmeta::DetailsUrl}};
    return keys;
}

} // namespace sourceformat
