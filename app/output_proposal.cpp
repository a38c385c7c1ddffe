#include "app/output_proposal.h"

#include "app/batch_plan.h"
#include "app/local_names.h"
#include "controls/file_name_rules.h"

namespace app {

QString TOutputProposal::ForPiece(const QString& midi) const {
    if (last_.isEmpty()) return {};
    // The same rule as a many-files run's, so both name a piece's recording alike.
    const std::string name = WavNameFor(LocalPath(midi));
    if (name.empty()) return {};
    return ExtractFilePath(last_) + FromLocal(name);
}

}  // namespace app
