// SPDX-License-Identifier: GPL-3.0-or-later
// The service addresses of section "Url": login-side keys from "Domain" "UdcDomain",
// business keys from the business domain chosen after login.
#include "app/shell/IniFile.h"

#include <utility>

namespace {

using KeyPath = std::pair<const char*, const char*>;

constexpr KeyPath kTicketKeys[] = {{"TicketUrl", "/v1/tickets"}};

constexpr KeyPath kClientKeys[] = {
    {"InfosBeforSelectHospitalUrl", "/client/infosBeforSelectHospital.do"},
    {"InfoAfterSelectHospitalUrl", "/client/infoAfterSelectHospital.do"},
    {"ChangePasswordUrl", "/client/changePasswd.do"},
};

// In the order they are set.
constexpr KeyPath kBusinessKeys[] = {
    {"RivelaWebUrl", ""},
    {"RivelaGetCaseInfo", "/restful/getCaseInfo.htm"},
    {"RivelaGetImagesUrl", "/restful/queryCaseFiles.htm"},
    {"RivelaGetAllPlanUrl", "/restful/getAllPlan.htm"},
    {"RivelaAddSchemeWithoutContext", "/restful/addSchemeWithoutContext.htm"},
    {"RivelaQueryProduct", "/restful/isOperSupported.htm"},
    {"RivelaUploadRVMFileUrl", "/restful/addFile.htm"},
    {"RivelaDownloadRVMFileUrl", "/restful/getFile.htm"},
    {"RivelaGetResourceFileUrl", "/restful/queryCaseFiles.htm"},
    {"RivelaGetAuditStepResultUrl", "/restful/getAuditStepResult.htm"},
    {"RivelaNoPassAuditStepUrl", "/mycase/caseInfo/partner/auditStepUnPass.htm"},
    {"RivelaPassAuditStepUrl", "/mycase/caseInfo/partner/toAuditStepPass.htm"},
    {"RivelaUploadFileUrl", "/resourceFile/uploadFile.htm"},
    {"RivelaQueryDownloadFileUrl", "/recvAndDataReview/getSyncFileByMedicalCaseId.htm"},
    {"RivelaNotifyDownloadResultUrl", "/recvAndDataReview/syncFileResult.htm"},
    {"RivelaReplacePictureUrl", "/restful/replaceCasePicture.htm"},
    {"upload3DFileUrl", "/restful/upload3DFile.htm"},
    {"uploadApproveRVS", "/clinicalTasks/stepNotPassInPc"},
    {"RivelaReplaceFileUrl", "/restful/replaceFile.htm"},
    {"RivelaReplaceBracketFileUrl", "/restful/replaceFile.htm"},
    {"RivelaQueryBracketCodeFileUrl", "/restful/getBracketCode.htm"},
    {"RivelaQueryBracketStatusFileUrl", "/restful/getBracketStatus.htm"},
    {"RivelaActiveStatisticalileUrl", "/restful/active"},
    {"RivelaApprovePlanURL", "/index/#/planClient"},
    {"RivelaGetNeedSchemeUrl", "/restful/getNeedScheme.htm"},
    {"RivelaGetIsSuspend", "/restful/getIsSuspend.htm"},
    {"RivelaUpdateUserEquipmentInfo", "/log/equipmentInfo/save.htm"},
    {"RivelaToBelvistaByCaseId", "/restful/getRivelaToBelvistaByCaseId.htm"},
};

} // namespace

// Each build holds the lock throughout, so a lookup sees the table before or after it.
void IniFile::BuildTicketUrl()
{
    std::lock_guard lock(m_mutex);
    const std::string u = GetValue("Domain", "UdcDomain");
    for (const auto& [key, path] : kTicketKeys)
        SetValueLocked("Url", key, u + path, "");
}

void IniFile::BuildClientUrls()
{
    std::lock_guard lock(m_mutex);
    const std::string u = GetValue("Domain", "UdcDomain");
    for (const auto& [key, path] : kClientKeys)
        SetValueLocked("Url", key, u + path, "");
}

void IniFile::BuildBusinessUrls()
{
    std::lock_guard lock(m_mutex);
    for (const auto& [key, path] : kBusinessKeys)
        SetValueLocked("Url", key, m_businessDomain + path, "");
}

void IniFile::BuildUrlTable()
{
    std::lock_guard lock(m_mutex);
    BuildTicketUrl();
    BuildClientUrls();
    BuildBusinessUrls();
}

void IniFile::SetBusinessDomain(const std::string& domain)
{
    std::lock_guard lock(m_mutex);
    m_businessDomain = domain;
}

std::string IniFile::BusinessDomain() const
{
    std::lock_guard lock(m_mutex);
    return m_businessDomain;
}
