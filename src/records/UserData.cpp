// The user's data record of the run.
#include "records/UserData.h"

namespace qm {

UserDataRecord UserData;
UserDataRecord ManagerData;
FieldMapping PhotoMapping;
PhotoRecord UserPhoto;
std::array<FieldMapping, kUserFieldCount> FieldMappings;
bool UseDatabase = false;
bool UseDirectory = false;

}  // namespace qm
