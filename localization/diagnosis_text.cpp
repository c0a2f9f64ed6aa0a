#include "localization/diagnosis_text.h"

#include <string_view>
#include <vector>

#include "localization/placeholders.h"
#include "localization/ui_strings.h"
#include "text/utf.h"

namespace orvandel {
namespace {

using Line = std::u16string_view;

struct Table {
    Line why_label;
    Line box_title;
    std::array<Line, kVerdictCodeCount> line;
    // Summary and fix, in DiagnosisTextId order.
    std::array<std::array<Line, 2>, kDiagnosisTextCount> texts;
};

// Placeholders: {interface} {reason} {count} {skipped} {error} {multicast} {port}
// {program} {pid} {command} {kind} {sysctl} {value} {rule} {source} {limit} {read}.
constexpr Table kEnglishTexts{
    u"Why?",
    u"Why nothing was found",
    {
        u"No network adapter was searched.",
        u"Your main network adapter was skipped.",
        u"The search could not be sent.",
        u"Another program holds port 8888.",
        u"A VPN carries this computer's traffic.",
        u"The system drops replies of other subnets.",
        u"A firewall may be blocking the replies.",
        u"The Wi-Fi may keep devices apart.",
        u"The system dropped replies (buffer full).",
        u"Only replies of other programs arrived.",
    },
    {{
        {u"No network adapter was searched; skipped: {skipped}.",
         u"Connect a wired or wireless adapter with an IPv4 address; 'orvandel-cli --adapters' "
         u"says why each adapter is skipped."},
        {u"No network adapter was searched: this computer has none but loopback.",
         u"Connect a wired or wireless adapter with an IPv4 address."},
        {u"The adapter {interface}, which holds the default route, was skipped: {reason}.",
         u"Give it an IPv4 address and bring it up; a name or alias containing \"Virtual\" is "
         u"skipped, so rename it."},
        {u"Sending the search on {interface} failed {count} times ({error}; multicast "
         u"{multicast}).",
         u"Check that {interface} has multicast on (sudo ip link set {interface} multicast on) "
         u"and that no firewall rule drops UDP port 8888, in or out."},
        {u"The search sent on {interface} did not come back to this computer (multicast "
         u"{multicast}).",
         u"Check that {interface} has multicast on (sudo ip link set {interface} multicast on) "
         u"and that no firewall rule drops UDP port 8888, in or out."},
        {u"Port {port} is held by {program} (process {pid}); the replies go there.",
         u"Close {program}, then search again."},
        {u"Port {port} is held by another program; which one cannot be told without "
         u"administrator rights.",
         u"Find it with: sudo {command}; close it, then search again."},
        {u"The default route leaves through the VPN adapter {interface} ({kind}); the VPN may "
         u"block local devices.",
         u"Disconnect the VPN, or allow local network access in its settings."},
        {u"Reverse-path filtering ({sysctl} = {value}) drops replies from other subnets on "
         u"{interface}.",
         u"Add a route over that adapter ({command}) or set {sysctl} to 0."},
        {u"The firewall chain {rule} drops UDP port {port}.",
         u"Allow it: sudo nft insert rule {rule} udp dport {port} accept"},
        {u"ufw is enabled and nothing shows UDP port {port} allowed.", u"Allow it: {command}"},
        {u"firewalld is running; whether UDP port {port} is open in this adapter's zone "
         u"cannot be told here.",
         u"Check with: {command}; open it with: sudo firewall-cmd --add-port={port}/udp"},
        {u"A firewall may be dropping the replies; cannot tell without administrator rights.",
         u"Check with: {command}; allow UDP port {port} if it is dropped."},
        {u"Could not read the firewall rules: the nftables ruleset is larger than {limit} "
         u"({read} bytes read); a rule in it may drop UDP port {port}.",
         u"Check with: {command}; allow UDP port {port} if it is dropped."},
        {u"Could not read the firewall rules: nft had not finished after {limit} ({read} "
         u"bytes read); a rule in it may drop UDP port {port}.",
         u"Check with: {command}; allow UDP port {port} if it is dropped."},
        {u"Only wireless adapters were searched ({interface}); the access point may isolate "
         u"its clients.",
         u"Turn off client (AP) isolation in the router's Wi-Fi settings, or connect by "
         u"cable."},
        {u"The system dropped {count} datagrams: the receive buffer was full.",
         u"Search again; if it repeats, raise net.core.rmem_max."},
        {u"{count} datagrams arrived that were not device replies (from {source}).",
         u"Another program answers on port 8888; the devices themselves did not answer."},
    }},
};

constexpr Table kTraditionalChineseTexts{
    u"原因？",
    u"找不到裝置的原因",
    {
        u"沒有搜尋任何網路介面卡。",
        u"主要網路介面卡被略過。",
        u"無法送出搜尋。",
        u"其他程式佔用了連接埠 8888。",
        u"VPN 正在傳送這台電腦的流量。",
        u"系統會丟棄其他子網路的回應。",
        u"防火牆可能擋住了回應。",
        u"Wi-Fi 可能將裝置彼此隔離。",
        u"系統丟棄了回應（緩衝區已滿）。",
        u"只收到其他程式的回應。",
    },
    {{
        {u"沒有搜尋任何網路介面卡；略過：{skipped}。",
         u"請連接有 IPv4 位址的有線或無線介面卡；執行 'orvandel-cli --adapters' 可查看略過原因。"},
        {u"沒有搜尋任何網路介面卡：這台電腦除了迴路介面外沒有網路介面卡。",
         u"請連接有 IPv4 位址的有線或無線介面卡。"},
        {u"持有預設路由的介面卡 {interface} 被略過：{reason}。",
         u"請為其設定 IPv4 位址並啟用；名稱或別名含有 \"Virtual\" 時會被略過，請重新命名。"},
        {u"在 {interface} 上送出搜尋失敗 {count} 次（{error}；多點傳送 {multicast}）。",
         u"請確認 {interface} 已開啟多點傳送（sudo ip link set {interface} multicast on），"
         u"且沒有防火牆規則丟棄 UDP 連接埠 8888 的進出流量。"},
        {u"在 {interface} 上送出的搜尋沒有回到這台電腦（多點傳送 {multicast}）。",
         u"請確認 {interface} 已開啟多點傳送（sudo ip link set {interface} multicast on），"
         u"且沒有防火牆規則丟棄 UDP 連接埠 8888 的進出流量。"},
        {u"連接埠 {port} 被 {program}（處理程序 {pid}）佔用，回應會送到該程式。",
         u"請關閉 {program}，然後再次搜尋。"},
        {u"連接埠 {port} 被其他程式佔用；沒有管理員權限無法得知是哪個程式。",
         u"請以 sudo {command} 查詢，關閉該程式後再次搜尋。"},
        {u"預設路由經由 VPN 介面卡 {interface}（{kind}）；VPN 可能阻擋區域網路裝置。",
         u"請中斷 VPN，或在其設定中允許存取區域網路。"},
        {u"反向路徑過濾（{sysctl} = {value}）會丟棄 {interface} 上來自其他子網路的回應。",
         u"請為該介面卡加入路由（{command}）或將 {sysctl} 設為 0。"},
        {u"防火牆鏈 {rule} 會丟棄 UDP 連接埠 {port}。",
         u"請允許：sudo nft insert rule {rule} udp dport {port} accept"},
        {u"ufw 已啟用，且沒有規則允許 UDP 連接埠 {port}。", u"請允許：{command}"},
        {u"firewalld 正在執行；此處無法得知此介面卡的區域是否開放 UDP 連接埠 {port}。",
         u"請以 {command} 檢查；開放：sudo firewall-cmd --add-port={port}/udp"},
        {u"防火牆可能丟棄了回應；沒有管理員權限無法確認。",
         u"請以 {command} 檢查；若被丟棄，請允許 UDP 連接埠 {port}。"},
        {u"無法讀取防火牆規則：nftables 規則集大於 {limit}（已讀取 {read} 位元組）；"
         u"其中的規則可能丟棄 UDP 連接埠 {port}。",
         u"請以 {command} 檢查；若被丟棄，請允許 UDP 連接埠 {port}。"},
        {u"無法讀取防火牆規則：nft 經過 {limit} 仍未完成（已讀取 {read} 位元組）；"
         u"其中的規則可能丟棄 UDP 連接埠 {port}。",
         u"請以 {command} 檢查；若被丟棄，請允許 UDP 連接埠 {port}。"},
        {u"只搜尋了無線介面卡（{interface}）；無線基地台可能隔離了用戶端。",
         u"請在路由器的 Wi-Fi 設定中關閉用戶端（AP）隔離，或改用網路線連接。"},
        {u"系統丟棄了 {count} 個資料包：接收緩衝區已滿。",
         u"請再次搜尋；若一再發生，請調高 net.core.rmem_max。"},
        {u"收到 {count} 個不是裝置回應的資料包（來自 {source}）。",
         u"有其他程式在連接埠 8888 回應；裝置本身沒有回應。"},
    }},
};

constexpr Table kSimplifiedChineseTexts{
    u"原因？",
    u"找不到装置的原因",
    {
        u"没有搜索任何网络适配器。",
        u"主要网络适配器被跳过。",
        u"无法发送搜索。",
        u"其他程序占用了端口 8888。",
        u"VPN 正在传输这台计算机的流量。",
        u"系统会丢弃其他子网的响应。",
        u"防火墙可能拦截了响应。",
        u"Wi-Fi 可能将装置彼此隔离。",
        u"系统丢弃了响应（缓冲区已满）。",
        u"只收到其他程序的响应。",
    },
    {{
        {u"没有搜索任何网络适配器；跳过：{skipped}。",
         u"请连接有 IPv4 地址的有线或无线适配器；运行 'orvandel-cli --adapters' 可查看跳过原因。"},
        {u"没有搜索任何网络适配器：这台计算机除了环回接口外没有网络适配器。",
         u"请连接有 IPv4 地址的有线或无线适配器。"},
        {u"持有默认路由的适配器 {interface} 被跳过：{reason}。",
         u"请为其设置 IPv4 地址并启用；名称或别名含有 \"Virtual\" 时会被跳过，请重命名。"},
        {u"在 {interface} 上发送搜索失败 {count} 次（{error}；组播 {multicast}）。",
         u"请确认 {interface} 已开启组播（sudo ip link set {interface} multicast on），"
         u"且没有防火墙规则丢弃 UDP 端口 8888 的进出流量。"},
        {u"在 {interface} 上发送的搜索没有回到这台计算机（组播 {multicast}）。",
         u"请确认 {interface} 已开启组播（sudo ip link set {interface} multicast on），"
         u"且没有防火墙规则丢弃 UDP 端口 8888 的进出流量。"},
        {u"端口 {port} 被 {program}（进程 {pid}）占用，响应会发送到该程序。",
         u"请关闭 {program}，然后再次搜索。"},
        {u"端口 {port} 被其他程序占用；没有管理员权限无法得知是哪个程序。",
         u"请用 sudo {command} 查询，关闭该程序后再次搜索。"},
        {u"默认路由经由 VPN 适配器 {interface}（{kind}）；VPN 可能阻挡局域网装置。",
         u"请断开 VPN，或在其设置中允许访问局域网。"},
        {u"反向路径过滤（{sysctl} = {value}）会丢弃 {interface} 上来自其他子网的响应。",
         u"请为该适配器添加路由（{command}）或将 {sysctl} 设为 0。"},
        {u"防火墙链 {rule} 会丢弃 UDP 端口 {port}。",
         u"请允许：sudo nft insert rule {rule} udp dport {port} accept"},
        {u"ufw 已启用，且没有规则允许 UDP 端口 {port}。", u"请允许：{command}"},
        {u"firewalld 正在运行；此处无法得知此适配器的区域是否开放 UDP 端口 {port}。",
         u"请用 {command} 检查；开放：sudo firewall-cmd --add-port={port}/udp"},
        {u"防火墙可能丢弃了响应；没有管理员权限无法确认。",
         u"请用 {command} 检查；若被丢弃，请允许 UDP 端口 {port}。"},
        {u"无法读取防火墙规则：nftables 规则集大于 {limit}（已读取 {read} 字节）；"
         u"其中的规则可能丢弃 UDP 端口 {port}。",
         u"请用 {command} 检查；若被丢弃，请允许 UDP 端口 {port}。"},
        {u"无法读取防火墙规则：nft 经过 {limit} 仍未完成（已读取 {read} 字节）；"
         u"其中的规则可能丢弃 UDP 端口 {port}。",
         u"请用 {command} 检查；若被丢弃，请允许 UDP 端口 {port}。"},
        {u"只搜索了无线适配器（{interface}）；无线接入点可能隔离了客户端。",
         u"请在路由器的 Wi-Fi 设置中关闭客户端（AP）隔离，或改用网线连接。"},
        {u"系统丢弃了 {count} 个数据包：接收缓冲区已满。",
         u"请再次搜索；若反复出现，请调高 net.core.rmem_max。"},
        {u"收到 {count} 个不是装置响应的数据包（来自 {source}）。",
         u"有其他程序在端口 8888 响应；装置本身没有响应。"},
    }},
};

constexpr Table kJapaneseTexts{
    u"原因は？",
    u"見つからなかった原因",
    {
        u"ネットワークアダプターを検索していません。",
        u"メインのアダプターがスキップされました。",
        u"検索を送信できませんでした。",
        u"他のプログラムがポート 8888 を使用中です。",
        u"VPN がこのPCの通信を運んでいます。",
        u"他のサブネットの応答が破棄されます。",
        u"ファイアウォールが応答を遮断している可能性。",
        u"Wi-Fi がデバイスを隔離している可能性。",
        u"応答が破棄されました（バッファー不足）。",
        u"他のプログラムの応答だけが届きました。",
    },
    {{
        {u"ネットワークアダプターを検索していません。スキップ：{skipped}。",
         u"IPv4 アドレスのある有線または無線アダプターを接続してください。'orvandel-cli "
         u"--adapters' でスキップの理由がわかります。"},
        {u"ネットワークアダプターを検索していません。このコンピューターにはループバック以外のアダプ"
         u"ターがありません。",
         u"IPv4 アドレスのある有線または無線アダプターを接続してください。"},
        {u"既定のルートを持つアダプター {interface} がスキップされました：{reason}。",
         u"IPv4 アドレスを設定して有効にしてください。名前か別名に \"Virtual\" "
         u"を含むとスキップされるので、名前を変えてください。"},
        {u"{interface} での検索の送信が {count} 回失敗しました（{error}、マルチキャスト "
         u"{multicast}）。",
         u"{interface} のマルチキャストが有効か（sudo ip link set {interface} multicast on）、"
         u"UDP ポート 8888 の送受信を破棄するファイアウォール規則がないか確認してください。"},
        {u"{interface} で送信した検索がこのPCに戻りませんでした（マルチキャスト {multicast}）。",
         u"{interface} のマルチキャストが有効か（sudo ip link set {interface} multicast on）、"
         u"UDP ポート 8888 の送受信を破棄するファイアウォール規則がないか確認してください。"},
        {u"ポート {port} を {program}（プロセス {pid}）が使用中で、応答はそちらに届きます。",
         u"{program} を終了してから、もう一度検索してください。"},
        {u"ポート {port} を他のプログラムが使用中です。管理者権限がないとどれかわかりません。",
         u"sudo {command} で確認し、終了してからもう一度検索してください。"},
        {u"既定のルートが VPN アダプター {interface}（{kind}）を通ります。VPN "
         u"がローカルのデバイスを遮断している可能性があります。",
         u"VPN を切断するか、その設定でローカルネットワークへのアクセスを許可してください。"},
        {u"逆経路フィルター（{sysctl} = {value}）が {interface} "
         u"で他のサブネットからの応答を破棄します。",
         u"そのアダプターにルートを追加する（{command}）か、{sysctl} を 0 にしてください。"},
        {u"ファイアウォールのチェーン {rule} が UDP ポート {port} を破棄します。",
         u"許可してください：sudo nft insert rule {rule} udp dport {port} accept"},
        {u"ufw が有効で、UDP ポート {port} を許可する規則がありません。",
         u"許可してください：{command}"},
        {u"firewalld が動作中です。このアダプターのゾーンで UDP ポート {port} "
         u"が開いているかはここではわかりません。",
         u"{command} で確認し、sudo firewall-cmd --add-port={port}/udp で開いてください。"},
        {u"ファイアウォールが応答を破棄している可能性があります。管理者権限がないと確認できません"
         u"。",
         u"{command} で確認し、破棄されていれば UDP ポート {port} を許可してください。"},
        {u"ファイアウォールの規則を読み取れませんでした：nftables のルールセットが {limit} "
         u"を超えています（{read} バイト読み取り）。その中の規則が UDP ポート {port} "
         u"を破棄している可能性があります。",
         u"{command} で確認し、破棄されていれば UDP ポート {port} を許可してください。"},
        {u"ファイアウォールの規則を読み取れませんでした：nft が {limit} "
         u"たっても終わりませんでした（{read} バイト読み取り）。その中の規則が UDP ポート "
         u"{port} を破棄している可能性があります。",
         u"{command} で確認し、破棄されていれば UDP ポート {port} を許可してください。"},
        {u"無線アダプター（{interface}）だけを検索しました。アクセスポイントがクライアントを隔離"
         u"している可能性があります。",
         u"ルーターの Wi-Fi 設定でクライアント（AP）隔離を無効にするか、有線で接続してください。"},
        {u"システムが {count} 個のデータグラムを破棄しました：受信バッファーが一杯でした。",
         u"もう一度検索してください。繰り返す場合は net.core.rmem_max を上げてください。"},
        {u"デバイスの応答ではないデータグラムが {count} 個届きました（送信元 {source}）。",
         u"他のプログラムがポート 8888 で応答しています。デバイス自体は応答していません。"},
    }},
};

const Table* TableFor(LanguageId id) {
    switch (id) {
        case kEnglish:
            return &kEnglishTexts;
        case kTraditionalChinese:
            return &kTraditionalChineseTexts;
        case kSimplifiedChinese:
            return &kSimplifiedChineseTexts;
        case kJapanese:
            return &kJapaneseTexts;
        default:
            return nullptr;
    }
}

std::u16string Fill(std::u16string_view text, const Verdict& verdict) {
    std::vector<std::u16string> names;
    std::vector<std::u16string> values;
    for (const VerdictValue& v : verdict.values) {
        names.push_back(u"{" + text::DecodeUtf8(v.name, 64) + u"}");
        values.push_back(text::DecodeUtf8(v.value, 256));
    }
    std::vector<NamedValue> named;
    for (std::size_t i = 0; i < names.size(); ++i) {
        named.push_back({names[i], values[i]});
    }
    return FillNamedPlaceholders(text, named);
}

std::size_t Index(DiagnosisTextId id) {
    return static_cast<std::size_t>(id);
}

}  // namespace

DiagnosisTextId TextIdOf(const Verdict& verdict) {
    switch (verdict.code) {
        case VerdictCode::kNoAdapter:
            return verdict.variant == VerdictVariant::kNoneToSkip ? DiagnosisTextId::kNoAdapterNone
                                                                  : DiagnosisTextId::kNoAdapter;
        case VerdictCode::kAdapterSkipped:
            return DiagnosisTextId::kAdapterSkipped;
        case VerdictCode::kSendFailed:
            return verdict.variant == VerdictVariant::kNoLoop ? DiagnosisTextId::kSendFailedNoLoop
                                                              : DiagnosisTextId::kSendFailed;
        case VerdictCode::kPortBusy:
            return verdict.variant == VerdictVariant::kUnknownHolder
                       ? DiagnosisTextId::kPortBusyUnknown
                       : DiagnosisTextId::kPortBusy;
        case VerdictCode::kVpnRoute:
            return DiagnosisTextId::kVpnRoute;
        case VerdictCode::kRpFilter:
            return DiagnosisTextId::kRpFilter;
        case VerdictCode::kFirewall:
            switch (verdict.variant) {
                case VerdictVariant::kUfw:
                    return DiagnosisTextId::kFirewallUfw;
                case VerdictVariant::kFirewalld:
                    return DiagnosisTextId::kFirewallFirewalld;
                case VerdictVariant::kCannotTell:
                    return DiagnosisTextId::kFirewallCannotTell;
                case VerdictVariant::kRulesTooLarge:
                    return DiagnosisTextId::kFirewallTooLarge;
                case VerdictVariant::kRulesTooSlow:
                    return DiagnosisTextId::kFirewallTooSlow;
                default:
                    return DiagnosisTextId::kFirewallNftables;
            }
        case VerdictCode::kWirelessIsolation:
            return DiagnosisTextId::kWirelessIsolation;
        case VerdictCode::kDroppedByKernel:
            return DiagnosisTextId::kDroppedByKernel;
        case VerdictCode::kNotDevices:
            return DiagnosisTextId::kNotDevices;
    }
    return DiagnosisTextId::kNotDevices;
}

DiagnosisStrings BuildDiagnosisStrings(LanguageId id) {
    DiagnosisStrings out;
    const Table* t = TableFor(id);
    if (t == nullptr) {
        return out;
    }
    out.why_label = std::u16string(t->why_label);
    out.box_title = std::u16string(t->box_title);
    for (std::size_t i = 0; i < kVerdictCodeCount; ++i) {
        out.line[i] = std::u16string(t->line[i]);
    }
    for (std::size_t i = 0; i < kDiagnosisTextCount; ++i) {
        out.summary[i] = std::u16string(t->texts[i][0]);
        out.fix[i] = std::u16string(t->texts[i][1]);
    }
    // The free part of the footer, between the maker's logo (right edge 97) and the
    // search button (left edge 208), on the button's row; light link blue on the
    // dark band.
    out.area = UiTextElement{{}, 98, 30, 104, 420, 0xFFB45A};
    return out;
}

std::u16string DiagnosisLine(const UiStrings& strings, const Verdict& verdict) {
    const auto code = static_cast<std::size_t>(verdict.code);
    return code < kVerdictCodeCount ? strings.Diagnosis.line[code] : std::u16string();
}

std::u16string DiagnosisSummary(const UiStrings& strings, const Verdict& verdict) {
    return Fill(strings.Diagnosis.summary[Index(TextIdOf(verdict))], verdict);
}

std::u16string DiagnosisFix(const UiStrings& strings, const Verdict& verdict) {
    return Fill(strings.Diagnosis.fix[Index(TextIdOf(verdict))], verdict);
}

}  // namespace orvandel
