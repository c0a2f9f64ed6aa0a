// Every text is quoted exactly as the product shows it; translations are not free-form.
// The tip_*, accessible_*, row menu and detail_* texts are additions of this finder;
// keep them short, plain and free of markup (tips: the same placeholders in every
// language).
#include "localization/ui_texts.h"

namespace orvandel {
namespace {

constexpr LanguageTexts kEnglishTexts{
    .caption = u"Orvandel",
    .intro =
        u"Orvandel helps search and connect to Kestrilon streaming devices under the same local "
        u"area network. Follow the steps below:",
    .step1_title = u"Step 1: Turn Device On",
    .step1_text = u"Turn on your Kestrilon streaming device and connect it to a router.",
    .step2_title = u"Step 2: Check Network Status",
    .step2_text = u"Make sure your computer is connected to the same router.",
    .begin_search = u"Begin Search",
    .search_again = u"Search Again",
    .stop = u"Stop",
    .no_internet_title = u"No internet connection",
    .no_internet_line1 = u"Make sure your computer is connected to the internet.",
    .not_found_title = u"Unable to find the device, make sure you follow the steps below:",
    .searching_title = u"Searching …",
    .menu_language = u"Language",
    .menu_english = u"English",
    .menu_simplified_chinese = u"简体中文",
    .menu_traditional_chinese = u"繁體中文",
    .menu_japanese = u"日本語",
    .menu_about = u"About Orvandel",
    .about_caption = u"About Orvandel",
    .version_prefix = u"Version: ",
    .info_text = u"\nFor more information, please visit our website:\n",
    .info_link_label = u"Quorvel Lite",
    .support_text = u"If you have any questions or suggestions, please contact us at:\n",
    .support_link_label = u"Support",
    .ok_label = u"OK",
    .result_prefix = u"Search results: found ",
    .result_suffix = u" devices",
    .product_url = u"https://www.kestrilon.com/us/products/quorvel/",
    .support_url = u"https://www.kestrilon.com/us/support/",
    .tip_other_network =
        u"This device is at {ip}, but this computer is on {subnet} ({interface}). Its page will "
        u"not open until both are on the same network: give this computer an address in the "
        u"device's network for a moment, or reset the device's network settings.",
    .tip_link_local =
        u"This device is at {ip}, an address it chose itself because the router gave it none. "
        u"This computer is on {subnet} ({interface}), so its page will not open. Check that the "
        u"router hands out addresses (DHCP) and restart the device.",
    .tip_conflict_devices =
        u"{count} devices use the address {ip}. Only one of them is listed, and the page that "
        u"opens may be another one's. Connect them one at a time and give each its own address.",
    .tip_conflict_own =
        u"This device uses {ip}, which is this computer's own address, so its page will not "
        u"open. Give the device or this computer another address.",
    .tip_noted_source =
        u"Its reply came from {source}: the device may have a second network connection, or "
        u"another host answered for it.",
    .tip_routed =
        u"This device is at {ip}, outside {subnet} ({interface}), and answered a search sent "
        u"through a router. Its page opens through that router.",
    .accessible_settings = u"Settings",
    .accessible_next = u"Next step",
    .accessible_previous = u"Previous step",
    .accessible_device_list = u"Devices found",
    .tip_settings = u"Language and About",
    .diagnosis_no_cause = u"No cause was found on this computer.",
    .diagnosis_checked =
        u"Checked: the network adapters, sending the search, port 8888, VPN routes, the "
        u"reverse-path filter, the firewall, wireless isolation, packets dropped by the system, "
        u"and replies from other devices. Make sure the device is on and connected to the same "
        u"router, then search again.",
    .menu_open_device_page = u"Open device page",
    .menu_copy_ip = u"Copy IP address",
    .menu_copy_mac = u"Copy MAC address",
    .menu_copy_details = u"Copy details",
    .detail_separator = u": ",
    .detail_name = u"Name",
    .detail_model = u"Model",
    .detail_sub_model = u"Sub model",
    .detail_firmware = u"Firmware",
    .detail_daily_build = u"Daily build",
    .detail_uboot_version = u"U-Boot version",
    .detail_ip = u"IP address",
    .detail_mac = u"MAC address",
    .detail_dhcp = u"DHCP",
    .detail_mask = u"Subnet mask",
    .detail_gateway = u"Gateway",
    .detail_dns = u"DNS",
};

constexpr LanguageTexts kTraditionalChineseTexts{
    .caption = u"Orvandel",
    .intro =
        u"Orvandel 主要協助搜尋並連接區域網路內可使用的 Kestrilon 串流裝置。搜尋前請參考以下步驟：",
    .step1_title = u"步驟一：開啟裝置",
    .step1_text = u"請開啟 Kestrilon 串流裝置並連接網路路由器。",
    .step2_title = u"步驟二：確認網路狀態",
    .step2_text = u"請確認目前使用的電腦所使用的網路訊號來自同一個網路路由器。",
    .begin_search = u"開始搜尋",
    .search_again = u"重新搜尋",
    .stop = u"停止",
    .no_internet_title = u"無網路連線",
    .no_internet_line1 = u"請確認目前使用的電腦已連上網路。",
    .not_found_title = u"無法找到裝置，請確認以下步驟：",
    .searching_title = u"搜尋中…",
    .menu_language = u"變更語言",
    .menu_english = u"English",
    .menu_simplified_chinese = u"简体中文",
    .menu_traditional_chinese = u"繁體中文",
    .menu_japanese = u"日本語",
    .menu_about = u"關於 Orvandel",
    .about_caption = u"關於 Orvandel",
    .version_prefix = u"版本：",
    .info_text = u"\n請至官網了解更多產品資訊：\n",
    .info_link_label = u"Quorvel Lite",
    .support_text = u"如有問題與建議，請聯絡我們。\n",
    .support_link_label = u"技術諮詢",
    .ok_label = u"確認",
    .result_prefix = u"搜尋結果：共找到",
    .result_suffix = u"臺裝置",
    .product_url = u"https://www.kestrilon.com/tw/products/quorvel/",
    .support_url = u"https://www.kestrilon.com/tw/support/",
    .tip_other_network =
        u"此裝置的位址為 {ip}，但這台電腦位於 {subnet}（{interface}）。兩者位於同一網路之前，"
        u"無法開啟其網頁：請暫時為電腦設定裝置網路中的位址，或重設裝置的網路設定。",
    .tip_link_local =
        u"此裝置的位址 {ip} 是路由器未分配位址時自行選用的。這台電腦位於 {subnet}（{interface}），"
        u"因此無法開啟其網頁。請確認路由器會分配位址（DHCP），再重新啟動裝置。",
    .tip_conflict_devices =
        u"有 {count} 台裝置使用同一位址 {ip}。清單只顯示其中一台，開啟的網頁可能屬於另一台。"
        u"請逐一連接裝置，並為每台設定不同的位址。",
    .tip_conflict_own =
        u"此裝置使用 {ip}，與這台電腦的位址相同，因此無法開啟其網頁。請為裝置或電腦改用其他位址。",
    .tip_noted_source = u"回應來自 {source}：裝置可能有第二個網路連線，或由其他主機代為回應。",
    .tip_routed =
        u"此裝置的位址為 {ip}，不在 {subnet}（{interface}）內，並回應了經由路由器送出的搜尋。"
        u"其網頁會經由該路由器開啟。",
    .accessible_settings = u"設定",
    .accessible_next = u"下一步",
    .accessible_previous = u"上一步",
    .accessible_device_list = u"找到的裝置",
    .tip_settings = u"語言與關於",
    .diagnosis_no_cause = u"在這台電腦上沒有找到原因。",
    .diagnosis_checked =
        u"已檢查：網路介面卡、搜尋的傳送、連接埠 8888、VPN "
        u"路由、反向路徑篩選、防火牆、無線隔離、系統丟棄的封包，以及其他裝置的回應。請確認裝置已開"
        u"啟並連接到同一台路由器，然後再搜尋一次。",
    .menu_open_device_page = u"開啟裝置網頁",
    .menu_copy_ip = u"複製 IP 位址",
    .menu_copy_mac = u"複製 MAC 位址",
    .menu_copy_details = u"複製詳細資訊",
    .detail_separator = u"：",
    .detail_name = u"名稱",
    .detail_model = u"型號",
    .detail_sub_model = u"子型號",
    .detail_firmware = u"韌體版本",
    .detail_daily_build = u"每日建置版本",
    .detail_uboot_version = u"U-Boot 版本",
    .detail_ip = u"IP 位址",
    .detail_mac = u"MAC 位址",
    .detail_dhcp = u"DHCP",
    .detail_mask = u"子網路遮罩",
    .detail_gateway = u"閘道",
    .detail_dns = u"DNS",
};

constexpr LanguageTexts kSimplifiedChineseTexts{
    .caption = u"Orvandel",
    .intro =
        u"Orvandel 主要协助搜寻并连接局域网络内可使用的 Kestrilon 串流装置。搜寻前请参考以下步骤：",
    .step1_title = u"步骤一：开启装置",
    .step1_text = u"请开启 Kestrilon 串流装置并连接网络路由器。",
    .step2_title = u"步骤二：确认网络状态",
    .step2_text = u"请确认目前使用的计算机所使用的网络讯号来自同一个网络路由器。",
    .begin_search = u"开始搜寻",
    .search_again = u"重新搜寻",
    .stop = u"停止",
    .no_internet_title = u"无网络联机",
    .no_internet_line1 = u"请确认目前使用的计算机已连上网络。",
    .not_found_title = u"无法找到装置，请确认以下步骤：",
    .searching_title = u"搜寻中…",
    .menu_language = u"变更语言",
    .menu_english = u"English",
    .menu_simplified_chinese = u"简体中文",
    .menu_traditional_chinese = u"繁體中文",
    .menu_japanese = u"日本語",
    .menu_about = u"关于 Orvandel",
    .about_caption = u"关于 Orvandel",
    .version_prefix = u"版本：",
    .info_text = u"\n请至官网了解更多产品信息：\n",
    .info_link_label = u"Quorvel Lite",
    .support_text = u"如有问题与建议，请联络我们。\n",
    .support_link_label = u"技术咨询",
    .ok_label = u"确认",
    .result_prefix = u"搜寻结果：共找到",
    .result_suffix = u"台装置",
    .product_url = u"https://www.kestrilon.com/cn/products/quorvel/",
    .support_url = u"https://www.kestrilon.com/cn/support/",
    .tip_other_network =
        u"此装置的地址为 {ip}，但这台计算机位于 {subnet}（{interface}）。两者位于同一网络之前，"
        u"无法打开其网页：请暂时为计算机设置装置网络中的地址，或重置装置的网络设置。",
    .tip_link_local =
        u"此装置的地址 {ip} 是路由器未分配地址时自行选用的。这台计算机位于 "
        u"{subnet}（{interface}），"
        u"因此无法打开其网页。请确认路由器会分配地址（DHCP），再重新启动装置。",
    .tip_conflict_devices =
        u"有 {count} 台装置使用同一地址 {ip}。列表只显示其中一台，打开的网页可能属于另一台。"
        u"请逐一连接装置，并为每台设置不同的地址。",
    .tip_conflict_own =
        u"此装置使用 "
        u"{ip}，与这台计算机的地址相同，因此无法打开其网页。请为装置或计算机改用其他地址。",
    .tip_noted_source = u"回应来自 {source}：装置可能有第二个网络连接，或由其他主机代为回应。",
    .tip_routed =
        u"此装置的地址为 {ip}，不在 {subnet}（{interface}）内，并响应了经由路由器发送的搜索。"
        u"其网页会经由该路由器打开。",
    .accessible_settings = u"设置",
    .accessible_next = u"下一步",
    .accessible_previous = u"上一步",
    .accessible_device_list = u"找到的装置",
    .tip_settings = u"语言和关于",
    .diagnosis_no_cause = u"在这台电脑上没有找到原因。",
    .diagnosis_checked =
        u"已检查：网络适配器、搜索的发送、端口 8888、VPN "
        u"路由、反向路径过滤、防火墙、无线隔离、系统丢弃的数据包，以及其他设备的回复。请确认设备已"
        u"开启并连接到同一台路由器，然后再搜索一次。",
    .menu_open_device_page = u"打开装置网页",
    .menu_copy_ip = u"复制 IP 地址",
    .menu_copy_mac = u"复制 MAC 地址",
    .menu_copy_details = u"复制详细信息",
    .detail_separator = u"：",
    .detail_name = u"名称",
    .detail_model = u"型号",
    .detail_sub_model = u"子型号",
    .detail_firmware = u"固件版本",
    .detail_daily_build = u"每日构建版本",
    .detail_uboot_version = u"U-Boot 版本",
    .detail_ip = u"IP 地址",
    .detail_mac = u"MAC 地址",
    .detail_dhcp = u"DHCP",
    .detail_mask = u"子网掩码",
    .detail_gateway = u"网关",
    .detail_dns = u"DNS",
};

constexpr LanguageTexts kJapaneseTexts{
    .caption = u"Orvandel",
    .intro =
        u"Orvandel は、同一 LAN 上にある Kestrilon "
        u"ストリーミングデバイスを検索して接続するのに便利です。以下の手順を実施します。",
    .step1_title = u"ステップ1: デバイスの電源を入れる",
    .step1_text = u"Kestrilon ストリーミングデバイスの電源を入れ、ルーターに接続します。",
    .step2_title = u"ステップ2: ネットワークの状態を確認する",
    .step2_text = u"お使いのコンピューターが同じルーターに接続されていることを確認してください。",
    .begin_search = u"検索開始",
    .search_again = u"再検索",
    .stop = u"中止",
    .no_internet_title = u"インターネット接続なし",
    .no_internet_line1 =
        u"お使いのコンピューターがインターネットに接続されていることを確認してください。",
    .not_found_title = u"デバイスが見つかりませんでした。以下の手順を確認してください。",
    .searching_title = u"検索中…",
    .menu_language = u"言語",
    .menu_english = u"English",
    .menu_simplified_chinese = u"简体中文",
    .menu_traditional_chinese = u"繁體中文",
    .menu_japanese = u"日本語",
    .menu_about = u"Orvandel について",
    .about_caption = u"Orvandel について",
    .version_prefix = u"バージョン: ",
    .info_text = u"\n詳しい情報は、当社ウェブサイトをご覧ください。\n",
    .info_link_label = u"Quorvel Lite",
    .support_text = u"ご質問やご意見はこちらから:\n",
    .support_link_label = u"問題を報告する",
    .ok_label = u"OK",
    .result_prefix = u"検索結果: ",
    .result_suffix = u" 個のデバイスが見つかりました",
    .product_url = u"https://www.kestrilon.com/jp/products/quorvel/",
    .support_url = u"https://www.kestrilon.com/jp/support/",
    .tip_other_network =
        u"このデバイスのアドレスは {ip} ですが、このコンピューターは {subnet}（{interface}）に"
        u"あります。同じネットワークになるまでページは開けません。一時的にデバイスのネットワークの"
        u"アドレスをコンピューターに設定するか、デバイスのネットワーク設定をリセットしてください。",
    .tip_link_local =
        u"このデバイスのアドレス {ip} "
        u"は、ルーターから割り当てられなかったため自分で選んだものです。"
        u"このコンピューターは {subnet}（{interface}）にあるため、ページは開けません。ルーターが"
        u"アドレスを割り当てること（DHCP）を確認し、デバイスを再起動してください。",
    .tip_conflict_devices =
        u"{count} 台のデバイスが同じアドレス {ip} を使っています。一覧には 1 台だけ表示され、"
        u"開くページは別のデバイスのものかもしれません。1 台ずつ接続し、それぞれに別のアドレスを"
        u"設定してください。",
    .tip_conflict_own =
        u"このデバイスの {ip} はこのコンピューターのアドレスと同じため、ページは開けません。"
        u"デバイスかコンピューターのアドレスを変更してください。",
    .tip_noted_source =
        u"応答は {source} から届きました。デバイスに 2 つ目のネットワーク接続があるか、別のホストが"
        u"代わりに応答しています。",
    .tip_routed =
        u"このデバイスのアドレスは {ip} で、{subnet}（{interface}）の外にあり、ルーター経由で送った"
        u"検索に応答しました。ページはそのルーター経由で開きます。",
    .accessible_settings = u"設定",
    .accessible_next = u"次のステップ",
    .accessible_previous = u"前のステップ",
    .accessible_device_list = u"見つかったデバイス",
    .tip_settings = u"言語とバージョン情報",
    .diagnosis_no_cause = u"このコンピューターでは原因が見つかりませんでした。",
    .diagnosis_checked =
        u"確認した項目：ネットワークアダプター、検索の送信、ポート 8888、VPN "
        u"の経路、逆経路フィルター、ファイアウォール、無線の分離、システムが破棄したパケット、ほか"
        u"の機器からの応答。機器の電源が入り、同じルーターに接続されていることを確認して、もう一度"
        u"検索してください。",
    .menu_open_device_page = u"デバイスのページを開く",
    .menu_copy_ip = u"IP アドレスをコピー",
    .menu_copy_mac = u"MAC アドレスをコピー",
    .menu_copy_details = u"詳細をコピー",
    .detail_separator = u": ",
    .detail_name = u"名前",
    .detail_model = u"モデル",
    .detail_sub_model = u"サブモデル",
    .detail_firmware = u"ファームウェア",
    .detail_daily_build = u"デイリービルド",
    .detail_uboot_version = u"U-Boot バージョン",
    .detail_ip = u"IP アドレス",
    .detail_mac = u"MAC アドレス",
    .detail_dhcp = u"DHCP",
    .detail_mask = u"サブネットマスク",
    .detail_gateway = u"ゲートウェイ",
    .detail_dns = u"DNS",
};
}  // namespace

const LanguageTexts* TextsFor(LanguageId id) {
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

}  // namespace orvandel
