// Members: registration, the names and addresses taken, profile changes, the
// profile and the custom head image.
#include "client_address.h"
#include "result_documents.h"
#include "soap_request.h"
#include "varnel_service_internal.h"

#include <filesystem>
#include <system_error>

namespace varnel::handlers {

namespace {

using O = qs::Op;

// A head image number sent as text; anything that is not 1 to 24 picks 1.
int faceNumber(const QString &face)
{
    const auto number = parseStrictInt(face);
    return number && *number >= 1 && *number <= 24 ? *number : 1;
}

OutValues isUserExistsByName(const Call &call, const qs::SoapValues &in)
{
    const std::string name = trimmedUtf8(in[0]);
    return {qs::SoapValue::ofBool(!name.empty() && call.store.memberByName(name).has_value())};
}

OutValues isUserExistsByEmail(const Call &call, const qs::SoapValues &in)
{
    return {qs::SoapValue::ofBool(call.store.emailTaken(trimmedUtf8(in[0])))};
}

OutValues createNewUser(const Call &call, const qs::SoapValues &in)
{
    checkLength(in[0], TextLimits::kUserName, "user name");
    checkLength(in[1], TextLimits::kPassword, "password");
    checkLength(in[2], TextLimits::kNickName, "nickname");
    checkLength(in[4], TextLimits::kEmail, "e-mail address");
    checkLength(in[6], TextLimits::kRealName, "name");
    checkLength(in[7], TextLimits::kAddress, "address");
    checkLength(in[8], TextLimits::kPhone, "phone number");
    checkLength(in[9], TextLimits::kUserName, "recommender");
    checkLength(in[10], TextLimits::kMachine, "machine identity");
    call.takeAllowance("register", limitGroup(call.callerAddress), call.options.guard.registrationsPerAddress,
                       "registrations from this address");
    NewMember m;
    m.userName = trimmedUtf8(in[0]);
    m.password = utf8(in[1]);
    m.nickName = trimmedUtf8(in[2]);
    m.sex = in[3].integer;
    m.email = trimmedUtf8(in[4]);
    m.face = faceNumber(in[5].string);
    m.realName = utf8(in[6]);
    m.address = utf8(in[7]);
    m.phone = utf8(in[8]);
    m.leader = trimmedUtf8(in[9]);
    m.userGuid = utf8(in[10]);
    return {qs::SoapValue::ofBool(call.store.createMember(m).has_value())};
}

OutValues editUserInformation(const Call &call, const qs::SoapValues &in)
{
    checkLength(in[1], TextLimits::kPassword, "password");
    checkLength(in[2], TextLimits::kNickName, "nickname");
    checkLength(in[3], TextLimits::kEmail, "e-mail address");
    ProfileEdit edit{utf8(in[1]), trimmedUtf8(in[2]), trimmedUtf8(in[3]), faceNumber(in[4].string)};
    return {qs::SoapValue::ofBool(call.store.editProfile(in[0].integer, edit))};
}

// The profile document: the fields the profile dialog reads by position.
OutValues getUserByUserID(const Call &call, const qs::SoapValues &in)
{
    auto member = call.store.memberById(in[0].integer);
    // Only the member's own signed-in client sees the password and the
    // personal fields.
    if (member && call.options.guard.bindMembers &&
        !call.store.isBoundTo(member->id, call.callerAddress, call.options.guard.bindingIdleSeconds)) {
        member->password.clear();
        member->email.clear();
        member->realName.clear();
        member->address.clear();
        member->phone.clear();
    }
    return {documents::profile(member)};
}

// Marks the member's custom head image once the uploaded picture is in the
// head-image directory.
OutValues authenticate(const Call &call, const qs::SoapValues &in)
{
    const int userID = in[0].integer;
    if (!call.store.memberById(userID))
        throw ClientFault{QStringLiteral("Unknown member %1.").arg(userID)};
    std::error_code error;
    const bool present =
        std::filesystem::is_regular_file(call.options.filesDir / (std::to_string(userID) + ".bmp"), error);
    if (present)
        call.store.setCustomHead(userID, true);
    return {};
}

const HandlerEntry kHandlers[] = {
    {O::IsUserExistsByName, isUserExistsByName}, {O::IsUserExistsByEmail, isUserExistsByEmail},
    {O::CreateNewUser, createNewUser},           {O::EditUserInformation, editUserInformation},
    {O::GetUserByUserID, getUserByUserID},       {O::Authenticate, authenticate},
};

} // namespace

std::span<const HandlerEntry> memberHandlers()
{
    return kHandlers;
}

} // namespace varnel::handlers
