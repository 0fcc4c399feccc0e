// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/rivela-standin/StandinPage.h"

namespace standin {

namespace {

// Replaces every "@@NAME@@" of the template.
std::string Fill(std::string text, const std::string& name, const std::string& value)
{
    const std::string mark = "@@" + name + "@@";
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + value.size()))
        text.replace(at, mark.size(), value);
    return text;
}

const char* const kPage = R"HTML(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<title>病例列表</title>
<style>
body { font-family: sans-serif; margin: 16px; }
table { border-collapse: collapse; }
td, th { border: 1px solid #ccc; padding: 4px 8px; }
#calls { font-family: monospace; white-space: pre; }
</style>
</head>
<body>
<h1>病例列表</h1>
<table id="cases"><thead><tr><th>病例号</th><th>患者</th><th>类型</th><th></th></tr></thead><tbody></tbody></table>

<h2>命令</h2>
<div id="commands">
<button id="selectPic" onclick="mainCommand('/rivela/SelectPic', {tag: 'front', multiFile: 'Y'})">SelectPic</button>
<button id="editPic" onclick="mainCommand('/rivela/EditPic', {picPath: domain + '/files/demo-1.RVS', tag: 'front'})">EditPic</button>
<button id="cbctUpload" onclick="mainCommand('/rivela/CBCTUploadUpload', {AcquireAccessUrl: domain + '/cbct/acquireAccess?caseNo=RV2024-0001', Tag: 'ct'})">CBCTUploadUpload</button>
<button id="cbctCancel" onclick="mainCommand('/rivela/CBCTUploadCancel', {AcquireAccessUrl: domain + '/cbct/acquireAccess?caseNo=RV2024-0001', Tag: 'ct', FileName: ''})">CBCTUploadCancel</button>
<button id="uploadSync" onclick="mainCommand('/rivela/UploadSyncFiles', {medicalCaseId: 'RV2024-0001', callBackMethodName: 'syncCallback'})">UploadSyncFiles</button>
<button id="download" onclick="mainCommand('/rivela/Download', {DownloadUrl: domain + '/files/demo-1.RVS', FileName: 'demo-1.RVS'})">Download</button>
<button id="closeForm" onclick="post('CloseForm', '')">CloseForm</button>
</div>
<div id="prompts">
<button id="promptSync" onclick="promptCommand('/rivela/UploadSyncFiles', {medicalCaseId: 'RV2024-0001'})">UploadSyncFiles (prompt)</button>
<button id="promptFileSync" onclick="promptCommand('/rivela/FileSynchronization', {medicalCaseId: 'RV2024-0001', callBackMethodName: 'syncCallback'})">FileSynchronization</button>
<button id="promptFilePost" onclick="promptCommand('/rivela/FilePost', {formData: [{value: JSON.stringify({bizId: 70011, fileType: 1041, fileName: 'model'})}], uploadUrl: domain + '/resourceFile/uploadFile.htm', needZip: false, limitFileType: '*.stl;*.ply;*.zip;'})">FilePost</button>
<button id="promptPictures" onclick="promptCommand('/rivela/RvmPicturesShow', {caseNo: 'RV2024-0001', phaseNo: '1'})">RvmPicturesShow</button>
<button id="promptSmallPic" onclick="promptCommand('/rivela/GetSmallPic', {picPath: domain + '/files/demo-1.RVS', tag: 'front'})">GetSmallPic</button>
</div>
<p><input type="file" id="fileInput" multiple></p>
<p><a id="attachment" href="@@DOMAIN@@/files/demo-1.RVS">方案文件下载</a></p>

<h2>回调</h2>
<div id="calls"></div>

<script>
var domain = '@@DOMAIN@@';
var cases = @@CASES@@;
window.rivelaCalls = [];
window.rivelaPrompts = [];

function record(name, args) {
  var entry = {name: name, args: Array.prototype.slice.call(args)};
  window.rivelaCalls.push(entry);
  document.getElementById('calls').textContent += name + ' ' + JSON.stringify(entry.args) + '\n';
  return true;
}

function post(handler, body) {
  if (window.webkit && window.webkit.messageHandlers && window.webkit.messageHandlers[handler])
    window.webkit.messageHandlers[handler].postMessage(body);
  else
    record('unsent:' + handler, [body]);
}

function mainCommand(path, value) {
  post('ExecuteMainCommand', JSON.stringify({path: path, value: value}));
}

function promptCommand(path, value) {
  var answer = window.prompt(JSON.stringify({path: path, value: value}), '');
  window.rivelaPrompts.push({path: path, answer: answer});
  record('prompt', [path, answer]);
}

function openCase(index, fn) {
  var c = cases[index];
  post('ExecuteRivelaCommand', {function: fn || c.function, oneFormJson: c.oneFormJson});
}

// Page functions the application calls.
function LoadPicture(json) { return record('LoadPicture', arguments); }
function EditPicCallBack(json) { return record('EditPicCallBack', arguments); }
function CBCTUploadCallback(json) { return record('CBCTUploadCallback', arguments); }
function syncCallback(json) { return record('syncCallback', arguments); }
function filePosted(id) { return record('filePosted', arguments); }
function globalRefresh() { return record('globalRefresh', arguments); }
function syncFile(flag) { return record('syncFile', arguments); }

(function fill() {
  var body = document.querySelector('#cases tbody');
  cases.forEach(function (c, i) {
    var row = document.createElement('tr');
    row.innerHTML = '<td>' + c.oneFormJson.caseNo + '</td><td>' + c.oneFormJson.patientName + '</td><td>' + c.kind +
      '</td><td><button id="open' + i + '" onclick="openCase(' + i + ')">' +
      (c.function === 'jsApproveScheme' ? '审批方案' : '查看3D') + '</button>' +
      ' <button id="images' + i + '" onclick="openCase(' + i + ', \'jsViewImage\')">影像资料</button></td>';
    body.appendChild(row);
  });
})();
</script>
</body>
</html>
)HTML";

} // namespace

std::string PortalPage(const std::string& caseListJson, const std::string& domain)
{
    return Fill(Fill(kPage, "CASES", caseListJson), "DOMAIN", domain);
}

} // namespace standin
