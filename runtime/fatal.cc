#include "runtime/fatal.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "runtime/text.h"

namespace vorel::runtime {
namespace {

using namespace literals;

std::atomic<FatalReporter> reporter{nullptr};

[[noreturn]] void ReportToStandardError(int number, std::string_view message) {
  std::string utf8 = Utf8FromText(FatalErrorReport(number, message));
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  std::fflush(stderr);
  _exit(-1);
}

}  // namespace

const char* RuntimeErrorMessageUtf8(int number) {
  static const char* const kMessages[] = {
      "",
      "数组成员引用下标超出定义范围",
      "未得到所需要的数值型数据",
      "引用数组成员时维数不为1且不等于该数组目前所具有的维数",
      "数组成员引用下标必须大于等于1",
      "数据或数组类型不匹配",
      "调用DLL命令后发现堆栈错误",
      "子语句参数未返回数据或者返回了非系统基本类型或数组型数据",
      "被比较数据只能使用等于或不等于命令比较",
      "“多项选择”命令的索引值参数小于零或超出了所提供参数表范围",
      "“重定义数组”命令的数组维定义参数值必须大于零或单维时大于等于零",
      "所提供参数的数据类型不符合要求",
  };
  if (number < 1 || number > 11) return "";
  return kMessages[number];
}

std::string FatalErrorReport(int number, std::string_view message) {
  Text text = "运行时出错!\r\n\r\n"_t;
  if (number != 0) text += "错误代码："_t + std::to_string(number) + "\r\n\r\n";
  if (!message.empty()) text += "错误信息："_t + Text(message) + "\r\n";
  return text;
}

void RaiseRuntimeError(int number) {
  Text message = TextFromUtf8(RuntimeErrorMessageUtf8(number));
  FatalReporter r = reporter.load();
  if (r) r(number, message);
  ReportToStandardError(number, message);
}

void RaiseFatalError(std::string_view message) {
  FatalReporter r = reporter.load();
  if (r) r(0, message);
  ReportToStandardError(0, message);
}

void SetFatalReporter(FatalReporter r) { reporter.store(r); }

}  // namespace vorel::runtime
