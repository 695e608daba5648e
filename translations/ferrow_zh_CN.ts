<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>FRWAboutViewController</name>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>A ferrow is the metal band that holds a blade fast in its handle: a small, plain part that keeps the connection tight. On the wire the protocol is as plain: its contents are encrypted from the very first byte, and it has no fixed shape for a classifier to key on — no TLS handshake, no imitated HTTP, no constant prefix, no fixed length. An observer can see that traffic passes, but not what it is.</source>
        <translation>Ferrow（箍）是把刀身牢牢固定在刀柄里的那道金属环：一个不起眼的小零件，却让连接始终紧密。线路上的协议同样朴素：从第一个字节起内容就已加密，也没有可供分类器识别的固定形态——没有 TLS 握手，不模仿 HTTP，没有固定前缀，也没有固定长度。旁观者能看到有流量经过，却看不出它是什么。</translation>
    </message>
    <message>
        <source>What it is built for</source>
        <translation>为何而生</translation>
    </message>
    <message>
        <source>First, resisting detection and blocking: passive fingerprinting first, then active probing — a prober that cannot authenticate gets no answer at all, exactly as for a wrong guess. Second, speed: pure TCP, a single AEAD seal per frame, a prewarmed pool of connections, and TCP Fast Open where the path allows it. All of it serves one purpose: free access to information.</source>
        <translation>首先是抵御识别与封锁：先防被动指纹识别，再防主动探测——无法通过认证的探测者得不到任何回应，就像猜错了密码一样。其次是速度：纯 TCP、每帧一次 AEAD 加密、预热的连接池，并在路径允许时使用 TCP Fast Open。这一切只为一个目的：自由地获取信息。</translation>
    </message>
    <message>
        <source>You need a server</source>
        <translation>你需要一台服务器</translation>
    </message>
    <message>
        <source>This application is the client. It connects to a server that you run yourself; there is no shared or hosted service. Copy the ferrow-server package to any Debian or Ubuntu machine with a public address and set it up there (SERVER is how you reach it over SSH):</source>
        <translation>本应用是客户端。它连接到你自己运行的服务器；没有共享或托管的服务。把 ferrow-server 软件包复制到任意一台有公网地址的 Debian 或 Ubuntu 机器上并在那里完成设置（SERVER 是你通过 SSH 访问它的地址）：</translation>
    </message>
    <message>
        <source>This application is the client. It connects to a server that you run yourself; there is no shared or hosted service. This command sets one up on any Linux machine with a public address:</source>
        <translation>本应用是客户端。它连接到你自己运行的服务器；没有共享或托管的服务。下面这条命令可在任意一台有公网地址的 Linux 机器上完成设置：</translation>
    </message>
    <message>
        <source>Copy the command</source>
        <translation>复制命令</translation>
    </message>
    <message>
        <source>Copy the install command</source>
        <translation>复制安装命令</translation>
    </message>
    <message>
        <source>The set-up prints a PSK and a port when it finishes. Put those into a node on the Policy screen and you are connected.</source>
        <translation>设置完成后会打印一个 PSK 和一个端口。把它们填入“策略”页面中的一个节点，即可连接。</translation>
    </message>
    <message>
        <source>Ferrow %1 (%2)</source>
        <translation>Ferrow %1（%2）</translation>
    </message>
</context>
<context>
    <name>FRWActivityViewController</name>
    <message>
        <source>Activity</source>
        <translation>活动</translation>
    </message>
    <message>
        <source>System Proxy</source>
        <translation>系统代理</translation>
    </message>
    <message>
        <source>Enhanced Mode</source>
        <translation>增强模式</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>网络</translation>
    </message>
    <message>
        <source>Profile</source>
        <translation>配置</translation>
    </message>
    <message>
        <source>Outbound Mode</source>
        <translation>出站模式</translation>
    </message>
    <message>
        <source>Rule-Based Proxy</source>
        <translation>规则判定</translation>
    </message>
    <message>
        <source>External IP</source>
        <translation>外部 IP</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>上传</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>下载</translation>
    </message>
    <message>
        <source>Add your server to get started</source>
        <translation>添加你的服务器以开始使用</translation>
    </message>
    <message>
        <source>The profile still holds the example nodes, which cannot work. Copy the ferrow:// link your server printed and paste it here: Ferrow adds the node, puts it in the Proxy group and chooses it. Then turn on System Proxy.

No server yet? Install ferrow-server on a machine of yours; the About page has the commands.

To show your external address, its location and your resolver&apos;s latency, Ferrow asks public echo, location and DNS services; turn that off under Settings → Privacy.</source>
        <translation>当前配置仍是示例节点，无法使用。复制服务器打印的 ferrow:// 链接并粘贴到这里：Ferrow 会添加该节点、把它放进 Proxy 组并选中它。然后打开系统代理。

还没有服务器？在你自己的机器上安装 ferrow-server；“关于”页面列出了所需命令。

为了显示你的外部地址、其位置以及解析器的延迟，Ferrow 会询问公共的回显、定位和 DNS 服务；可在“设置 → 隐私”中关闭。</translation>
    </message>
    <message>
        <source>Paste ferrow:// Link</source>
        <translation>粘贴 ferrow:// 链接</translation>
    </message>
    <message>
        <source>Add %1</source>
        <translation>添加 %1</translation>
    </message>
    <message>
        <source>Add “%1”</source>
        <translation>添加“%1”</translation>
    </message>
    <message>
        <source>A ferrow:// link for %1 is on the clipboard.</source>
        <translation>剪贴板上有一个 %1 的 ferrow:// 链接。</translation>
    </message>
    <message>
        <source>Internet Latency</source>
        <translation>互联网延迟</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>刷新</translation>
    </message>
    <message>
        <source>Proxy</source>
        <translation>代理</translation>
    </message>
    <message>
        <source>Active Connection</source>
        <translation>活动连接</translation>
    </message>
    <message>
        <source>Processes</source>
        <translation>进程</translation>
    </message>
    <message>
        <source>Total Traffic</source>
        <translation>总流量</translation>
    </message>
    <message>
        <source>Total Traffic Period</source>
        <translation>总流量时段</translation>
    </message>
    <message>
        <source>Traffic</source>
        <translation>流量</translation>
    </message>
    <message>
        <source>Traffic Shown</source>
        <translation>显示的流量</translation>
    </message>
    <message>
        <source>Traffic Grouped By</source>
        <translation>流量分组方式</translation>
    </message>
    <message>
        <source>No traffic yet</source>
        <translation>暂无流量</translation>
    </message>
    <message>
        <source>Rule-Based</source>
        <translation>规则判定</translation>
    </message>
    <message>
        <source>Direct</source>
        <translation>直连</translation>
    </message>
    <message>
        <source>Global</source>
        <translation>全局</translation>
    </message>
    <message>
        <source>(connect to load nodes)</source>
        <translation>（连接后加载节点）</translation>
    </message>
    <message>
        <source>Last Updated: %1</source>
        <translation>上次更新：%1</translation>
    </message>
    <message>
        <source>Show IPv4 Address</source>
        <translation>显示 IPv4 地址</translation>
    </message>
    <message>
        <source>Show IPv6 Address</source>
        <translation>显示 IPv6 地址</translation>
    </message>
    <message>
        <source>Refresh Now</source>
        <translation>立即刷新</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>复制</translation>
    </message>
    <message>
        <source>TODAY</source>
        <translation>今天</translation>
    </message>
    <message>
        <source>MONTH</source>
        <translation>本月</translation>
    </message>
    <message>
        <source>ALL</source>
        <translation>全部</translation>
    </message>
    <message>
        <source>PROXY</source>
        <translation>代理</translation>
    </message>
    <message>
        <source>CLIENT</source>
        <translation>客户端</translation>
    </message>
    <message>
        <source>DOMAIN</source>
        <translation>域名</translation>
    </message>
    <message>
        <source>POLICY</source>
        <translation>策略</translation>
    </message>
    <message>
        <source>NOW</source>
        <translation>实时</translation>
    </message>
    <message>
        <source>1D</source>
        <comment>today</comment>
        <translation>今天</translation>
    </message>
    <message>
        <source>7D</source>
        <comment>seven days</comment>
        <translation>7天</translation>
    </message>
    <message>
        <source>30D</source>
        <comment>thirty days</comment>
        <translation>30天</translation>
    </message>
    <message>
        <source>Traffic Period</source>
        <translation>流量时段</translation>
    </message>
</context>
<context>
    <name>FRWAppDelegate</name>
    <message>
        <source>About Ferrow</source>
        <translation>关于 Ferrow</translation>
    </message>
    <message>
        <source>Ferrow %1</source>
        <translation>Ferrow %1</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>检查更新…</translation>
    </message>
    <message>
        <source>Hide Ferrow</source>
        <translation>隐藏 Ferrow</translation>
    </message>
    <message>
        <source>Quit Ferrow</source>
        <translation>退出 Ferrow</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>编辑</translation>
    </message>
    <message>
        <source>Check for Updates</source>
        <translation>检查更新</translation>
    </message>
    <message>
        <source>Ferrow is updated by the system’s package manager.</source>
        <translation>Ferrow 由系统的软件包管理器更新。</translation>
    </message>
    <message>
        <source>New versions arrive with the system’s other updates.</source>
        <translation>新版本会随系统的其他更新一同到来。</translation>
    </message>
    <message>
        <source>Shell export command copied</source>
        <translation>已复制 Shell 导出命令</translation>
    </message>
</context>
<context>
    <name>FRWAppModel</name>
    <message>
        <source>Also logged in to this computer: %1. While Enhanced Mode is on, their traffic and DNS go through your profile, and you can see it.</source>
        <translation>同时登录这台计算机的还有：%1。增强模式开启时，他们的流量和 DNS 也会经过你的配置，你能看到这些流量。</translation>
    </message>
    <message>
        <source>System Proxy stopped</source>
        <translation>系统代理已停止</translation>
    </message>
    <message>
        <source>Its core exited. The desktop&apos;s proxy settings were put back, so traffic now goes out directly.</source>
        <translation>其核心已退出。桌面的代理设置已恢复，流量现在直接出站。</translation>
    </message>
    <message>
        <source>Enhanced Mode stopped</source>
        <translation>增强模式已停止</translation>
    </message>
    <message>
        <source>Its core exited, so traffic now goes out directly.</source>
        <translation>其核心已退出，流量现在直接出站。</translation>
    </message>
    <message>
        <source>Couldn&apos;t connect</source>
        <translation>无法连接</translation>
    </message>
    <message>
        <source>Couldn&apos;t start System Proxy</source>
        <translation>无法启动系统代理</translation>
    </message>
    <message>
        <source>System Proxy was not turned back on</source>
        <translation>系统代理未能重新开启</translation>
    </message>
    <message>
        <source>Enhanced Mode was not turned back on</source>
        <translation>增强模式未能重新开启</translation>
    </message>
</context>
<context>
    <name>FRWClientRowDelegate</name>
    <message>
        <source>Total %1</source>
        <translation>总计 %1</translation>
    </message>
</context>
<context>
    <name>FRWClientsViewController</name>
    <message>
        <source>Nothing yet.</source>
        <translation>暂无内容。</translation>
    </message>
    <message>
        <source>Now</source>
        <translation>实时</translation>
    </message>
    <message>
        <source>Today</source>
        <translation>今天</translation>
    </message>
    <message>
        <source>7 Days</source>
        <translation>7 天</translation>
    </message>
    <message>
        <source>30 Days</source>
        <translation>30 天</translation>
    </message>
    <message>
        <source>Period</source>
        <translation>时段</translation>
    </message>
    <message>
        <source>The history is not available without the core.</source>
        <translation>核心未运行，无法查看历史记录。</translation>
    </message>
    <message>
        <source>Nothing in this period.</source>
        <translation>此时段内没有流量。</translation>
    </message>
</context>
<context>
    <name>FRWConnectionsViewController</name>
    <message>
        <source>Connections</source>
        <translation>连接</translation>
    </message>
    <message>
        <source>Search Connections</source>
        <translation>搜索连接</translation>
    </message>
    <message>
        <source>Filter host, process, policy, rule…</source>
        <translation>筛选主机、进程、策略、规则…</translation>
    </message>
    <message>
        <source>Select a connection above to see its fake IP, client and matched rule.</source>
        <translation>在上方选择一个连接，查看其 Fake IP、客户端和匹配的规则。</translation>
    </message>
    <message numerus="yes">
        <source>%n matching</source>
        <translation>
            <numerusform>%n 个匹配</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n active  ·  %1 total</source>
        <translation>
            <numerusform>%n 个活动  ·  共 %1 个</numerusform>
        </translation>
    </message>
    <message>
        <source>No connections match your filter.</source>
        <translation>没有与筛选条件匹配的连接。</translation>
    </message>
    <message>
        <source>No connections yet.
Connect and browse to see live traffic.</source>
        <translation>暂无连接。
连接并浏览网页即可看到实时流量。</translation>
    </message>
    <message>
        <source>Destination</source>
        <translation>目标</translation>
    </message>
    <message>
        <source>Policy / Group</source>
        <translation>策略 / 组</translation>
    </message>
    <message>
        <source>Matched rule</source>
        <translation>匹配的规则</translation>
    </message>
    <message>
        <source>Fake IP</source>
        <translation>Fake IP</translation>
    </message>
    <message>
        <source>— (not fake-ip)</source>
        <translation>—（非 fake-ip）</translation>
    </message>
    <message>
        <source>Client process</source>
        <translation>客户端进程</translation>
    </message>
    <message>
        <source>— (unknown)</source>
        <translation>—（未知）</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>来源</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>网络</translation>
    </message>
    <message>
        <source>Traffic</source>
        <translation>流量</translation>
    </message>
    <message>
        <source>State</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>%1 · started %2</source>
        <translation>%1 · 开始于 %2</translation>
    </message>
    <message>
        <source>DETAILS</source>
        <translation>详细信息</translation>
    </message>
    <message>
        <source>closed</source>
        <translation>已关闭</translation>
    </message>
    <message>
        <source>active</source>
        <translation>活动</translation>
    </message>
</context>
<context>
    <name>FRWCoreLauncher</name>
    <message>
        <source>%1 is not an executable file</source>
        <translation>%1 不是可执行文件</translation>
    </message>
</context>
<context>
    <name>FRWDeviceViewController</name>
    <message>
        <source>Device</source>
        <translation>设备</translation>
    </message>
    <message>
        <source>Gateway Mode</source>
        <translation>网关模式</translation>
    </message>
    <message>
        <source>Gateway settings</source>
        <translation>网关设置</translation>
    </message>
    <message>
        <source>Point another device&apos;s default gateway at %1 and its traffic is proxied by rule. Set that device&apos;s DNS manually too, or its IPv6 will bypass the proxy.</source>
        <translation>将另一台设备的默认网关指向 %1，其流量即按规则代理。同时请手动设置该设备的 DNS，否则它的 IPv6 会绕过代理。</translation>
    </message>
    <message>
        <source>Reconnect Enhanced Mode to apply</source>
        <translation>重新连接增强模式以生效</translation>
    </message>
    <message>
        <source>Gateway mode takes effect the next time Enhanced Mode starts.</source>
        <translation>网关模式将在下次启动增强模式时生效。</translation>
    </message>
    <message>
        <source>On the device you want to proxy, set:

    Router / Gateway:  %1
    DNS:  %2  (manual, not automatic)

The DNS entry is not optional. A manual gateway only redirects IPv4; the device still learns its IPv6 router from the network, so with automatic DNS its IPv6 traffic goes straight out and never reaches %3.</source>
        <translation>在要代理的设备上设置：

    路由器 / 网关：%1
    DNS：%2（手动，而非自动）

DNS 这一项不可省略。手动网关只会重定向 IPv4；设备仍会从网络中获知其 IPv6 路由器，因此若 DNS 为自动，其 IPv6 流量会直接出去，永远不会到达 %3。</translation>
    </message>
    <message>
        <source>%1&apos;s LAN IP</source>
        <translation>%1 的局域网 IP</translation>
    </message>
    <message>
        <source>No Device</source>
        <translation>无设备</translation>
    </message>
</context>
<context>
    <name>FRWElidedLabel</name>
    <message>
        <source>Copy</source>
        <translation>复制</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>全选</translation>
    </message>
</context>
<context>
    <name>FRWEnhancedMode</name>
    <message>
        <source>Helper install did not complete.</source>
        <translation>助手安装未完成。</translation>
    </message>
    <message>
        <source>Bundled helper is missing from the app.</source>
        <translation>应用中缺少内置的助手。</translation>
    </message>
    <message>
        <source>Helper removal did not complete.</source>
        <translation>助手移除未完成。</translation>
    </message>
</context>
<context>
    <name>FRWExternalResourcesController</name>
    <message>
        <source>External Resources</source>
        <translation>外部资源</translation>
    </message>
    <message>
        <source>External Resource</source>
        <translation>外部资源</translation>
    </message>
    <message>
        <source>Rule-sets downloaded from URLs</source>
        <translation>从 URL 下载的规则集</translation>
    </message>
    <message>
        <source>External resources</source>
        <translation>外部资源</translation>
    </message>
    <message>
        <source>This profile has no external resources.</source>
        <translation>此配置没有外部资源。</translation>
    </message>
    <message>
        <source>Only show not ready items</source>
        <translation>只显示未就绪的项目</translation>
    </message>
    <message>
        <source>Update All</source>
        <translation>全部更新</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>完成</translation>
    </message>
    <message>
        <source>Not ready</source>
        <translation>未就绪</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>就绪</translation>
    </message>
    <message>
        <source>Stale</source>
        <translation>已过期</translation>
    </message>
    <message>
        <source>Updating…</source>
        <translation>正在更新…</translation>
    </message>
    <message>
        <source>Never</source>
        <translation>从未</translation>
    </message>
    <message>
        <source>Just now</source>
        <translation>刚刚</translation>
    </message>
    <message numerus="yes">
        <source>%n minutes ago</source>
        <translation>
            <numerusform>%n 分钟前</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n hours ago</source>
        <translation>
            <numerusform>%n 小时前</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n days ago</source>
        <translation>
            <numerusform>%n 天前</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FRWGroupTile</name>
    <message>
        <source>Delete Group</source>
        <translation>删除组</translation>
    </message>
</context>
<context>
    <name>FRWHelperClient</name>
    <message>
        <source>Couldn&apos;t communicate with the helper (%1).</source>
        <translation>无法与助手通信（%1）。</translation>
    </message>
    <message>
        <source>the helper closed the connection</source>
        <translation>助手关闭了连接</translation>
    </message>
    <message>
        <source>no version</source>
        <translation>没有版本信息</translation>
    </message>
    <message>
        <source>connection closed</source>
        <translation>连接已关闭</translation>
    </message>
    <message>
        <source>reply too long</source>
        <translation>回复过长</translation>
    </message>
    <message>
        <source>reply to no request</source>
        <translation>回复没有对应的请求</translation>
    </message>
</context>
<context>
    <name>FRWLiveReload</name>
    <message>
        <source>Profile reload failed — still using the previous working version</source>
        <translation>配置重新加载失败——仍在使用之前可用的版本</translation>
    </message>
    <message>
        <source>The edited profile could not be applied, so Ferrow kept the last working configuration and your connection was not interrupted. Fix the profile and save again.

%1</source>
        <translation>编辑后的配置无法应用，因此 Ferrow 保留了上一个可用的配置，你的连接没有中断。请修正配置后再次保存。

%1</translation>
    </message>
</context>
<context>
    <name>FRWLogFindBar</name>
    <message>
        <source>Find in log</source>
        <translation>在日志中查找</translation>
    </message>
    <message>
        <source>All</source>
        <translation>全部</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>信息</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Not found</source>
        <translation>未找到</translation>
    </message>
</context>
<context>
    <name>FRWLoginItem</name>
    <message>
        <source>Cannot create %1</source>
        <translation>无法创建 %1</translation>
    </message>
</context>
<context>
    <name>FRWLogsViewController</name>
    <message>
        <source>Logs</source>
        <translation>日志</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>日志</translation>
    </message>
    <message>
        <source>No logs yet.
Connect to see live core activity.</source>
        <translation>暂无日志。
连接后即可看到核心的实时活动。</translation>
    </message>
    <message>
        <source>Copy Lines</source>
        <translation>复制行</translation>
    </message>
    <message>
        <source>Find…</source>
        <translation>查找…</translation>
    </message>
</context>
<context>
    <name>FRWMainWindowController</name>
    <message>
        <source>View</source>
        <translation>显示</translation>
    </message>
</context>
<context>
    <name>FRWNodeEditorSheet</name>
    <message>
        <source>Edit Node</source>
        <translation>编辑节点</translation>
    </message>
    <message>
        <source>Add Node</source>
        <translation>添加节点</translation>
    </message>
    <message>
        <source>A Ferrow server you can route traffic through. Groups on this screen reference nodes by name.</source>
        <translation>一台可以转发流量的 Ferrow 服务器。本页面上的组按名称引用节点。</translation>
    </message>
    <message>
        <source>Paste ferrow:// Link</source>
        <translation>粘贴 ferrow:// 链接</translation>
    </message>
    <message>
        <source>Fill these in from a ferrow:// link on the clipboard</source>
        <translation>用剪贴板上的 ferrow:// 链接填写这些内容</translation>
    </message>
    <message>
        <source>host or IP</source>
        <translation>主机名或 IP</translation>
    </message>
    <message>
        <source>shared key from the server installer</source>
        <translation>服务器安装程序给出的共享密钥</translation>
    </message>
    <message>
        <source>Show the key</source>
        <translation>显示密钥</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>Server</source>
        <translation>服务器</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>端口</translation>
    </message>
    <message>
        <source>TCP Fast Open</source>
        <translation>TCP Fast Open</translation>
    </message>
    <message>
        <source>Key</source>
        <translation>密钥</translation>
    </message>
    <message>
        <source>Reached through: </source>
        <translation>经由：</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>添加</translation>
    </message>
    <message>
        <source>Read %1:%2 · TFO %3</source>
        <translation>已读取 %1:%2 · TFO %3</translation>
    </message>
    <message>
        <source>Read %1:%2</source>
        <translation>已读取 %1:%2</translation>
    </message>
    <message>
        <source>Hide the key</source>
        <translation>隐藏密钥</translation>
    </message>
</context>
<context>
    <name>FRWNodeShareSheet</name>
    <message>
        <source>Share “%1”</source>
        <translation>分享“%1”</translation>
    </message>
    <message>
        <source>QR code of the node&apos;s link</source>
        <translation>节点链接的二维码</translation>
    </message>
    <message>
        <source>The link holds the node&apos;s key: anyone who has it can use your server. Share it only with your own devices, and never in a public place.</source>
        <translation>该链接包含节点的密钥：任何拿到它的人都能使用你的服务器。只分享给你自己的设备，切勿发布在公开场合。</translation>
    </message>
    <message>
        <source>Copy Link</source>
        <translation>复制链接</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>完成</translation>
    </message>
    <message>
        <source>This node has no key or no valid server and port, so it has no link to share. Edit the node first.</source>
        <translation>该节点没有密钥，或服务器和端口无效，因此没有可分享的链接。请先编辑该节点。</translation>
    </message>
    <message>
        <source>Scan the code with the device that should use this node, or copy the link and send it over a channel you trust.</source>
        <translation>用要使用此节点的设备扫描二维码，或复制链接并通过你信任的渠道发送。</translation>
    </message>
    <message>
        <source>Copied</source>
        <translation>已复制</translation>
    </message>
</context>
<context>
    <name>FRWNodeTile</name>
    <message>
        <source>Tap to Test</source>
        <translation>点击测试</translation>
    </message>
    <message>
        <source>Edit Node…</source>
        <translation>编辑节点…</translation>
    </message>
    <message>
        <source>Delete Node</source>
        <translation>删除节点</translation>
    </message>
    <message>
        <source>Share…</source>
        <translation>分享…</translation>
    </message>
</context>
<context>
    <name>FRWOverviewViewController</name>
    <message>
        <source>Overview</source>
        <translation>概览</translation>
    </message>
    <message>
        <source>System Proxy</source>
        <translation>系统代理</translation>
    </message>
    <message>
        <source>Most apps&apos; traffic is captured through the system HTTP/SOCKS proxy. Best compatibility and performance.</source>
        <translation>大多数应用的流量通过系统 HTTP/SOCKS 代理接管。兼容性和性能最佳。</translation>
    </message>
    <message>
        <source>Enhanced Mode</source>
        <translation>增强模式</translation>
    </message>
    <message>
        <source>Some apps ignore the system proxy. Enhanced Mode forces all their traffic through the tunnel.</source>
        <translation>有些应用会忽略系统代理。增强模式强制它们的全部流量经过隧道。</translation>
    </message>
    <message>
        <source>HTTP &amp; SOCKS5 Proxy</source>
        <translation>HTTP 和 SOCKS5 代理</translation>
    </message>
    <message>
        <source>Act as a standard HTTP and SOCKS5 proxy for other devices on the same local network.</source>
        <translation>为同一局域网中的其他设备充当标准的 HTTP 和 SOCKS5 代理。</translation>
    </message>
    <message>
        <source>Gateway Mode</source>
        <translation>网关模式</translation>
    </message>
    <message>
        <source>LAN devices that point their default gateway at %1 are proxied by rule. Also set their DNS manually, or IPv6 bypasses the proxy.</source>
        <translation>将默认网关指向 %1 的局域网设备会按规则代理。同时请手动设置它们的 DNS，否则 IPv6 会绕过代理。</translation>
    </message>
    <message>
        <source>A private network between your devices running Ferrow, so you can reach %1&apos;s proxy from anywhere. Coming soon.</source>
        <translation>在运行 Ferrow 的设备之间建立私有网络，让你在任何地方都能使用 %1 的代理。即将推出。</translation>
    </message>
    <message>
        <source>Network Takeover</source>
        <translation>网络接管</translation>
    </message>
    <message>
        <source>LAN Device Takeover</source>
        <translation>局域网设备接管</translation>
    </message>
    <message>
        <source>Remote Connectivity</source>
        <translation>远程连接</translation>
    </message>
    <message>
        <source>Running · 127.0.0.1:7891</source>
        <translation>运行中 · 127.0.0.1:7891</translation>
    </message>
    <message>
        <source>Not set</source>
        <translation>未设置</translation>
    </message>
    <message>
        <source>Enabled</source>
        <translation>已启用</translation>
    </message>
    <message>
        <source>Disabled</source>
        <translation>已停用</translation>
    </message>
    <message>
        <source>Sharing on %1</source>
        <translation>共享于 %1</translation>
    </message>
    <message>
        <source>Running on %1</source>
        <translation>运行于 %1</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>关</translation>
    </message>
    <message>
        <source>Needs the tunnel running</source>
        <translation>需要先运行隧道</translation>
    </message>
    <message>
        <source>Transparent gateway on</source>
        <translation>透明网关已开启</translation>
    </message>
    <message>
        <source>Not configured</source>
        <translation>未配置</translation>
    </message>
    <message>
        <source>Not available yet</source>
        <translation>暂不可用</translation>
    </message>
    <message>
        <source>Other devices can use %1 as a proxy</source>
        <translation>其他设备可以把 %1 用作代理</translation>
    </message>
    <message>
        <source>Point them at  %1:7891  (HTTP or SOCKS5).

Anyone who can reach that port can use your nodes, so leave it off on networks you do not control.</source>
        <translation>让它们指向  %1:7891 （HTTP 或 SOCKS5）。

任何能访问该端口的人都能使用你的节点，所以在你无法控制的网络上请保持关闭。</translation>
    </message>
    <message>
        <source>%1&apos;s IP</source>
        <translation>%1 的 IP</translation>
    </message>
    <message>
        <source>On the other device, set its default gateway to  %1  and its DNS to a public resolver such as </source>
        <translation>在另一台设备上，将其默认网关设为  %1 ，并将其 DNS 设为公共解析器，例如 </translation>
    </message>
    <message>
        <source>%1&apos;s LAN IP</source>
        <translation>%1 的局域网 IP</translation>
    </message>
    <message>
        <source> — not &quot;automatic&quot;.

Without the DNS change the device keeps using the network&apos;s own IPv6 router, and its IPv6 traffic bypasses the proxy entirely.</source>
        <translation>——而不是“自动”。

如果不修改 DNS，设备会继续使用网络自己的 IPv6 路由器，其 IPv6 流量将完全绕过代理。</translation>
    </message>
    <message>
        <source>

Reconnect Enhanced Mode to apply.</source>
        <translation>

重新连接增强模式以生效。</translation>
    </message>
    <message>
        <source>

Enhanced Mode is off — gateway mode does nothing until it is on.</source>
        <translation>

增强模式已关闭——在它开启之前，网关模式不起作用。</translation>
    </message>
    <message>
        <source>Route another device through %1</source>
        <translation>让另一台设备经由 %1 上网</translation>
    </message>
    <message>
        <source>Ferrow Varnel isn’t available yet</source>
        <translation>Ferrow Varnel 暂不可用</translation>
    </message>
    <message>
        <source>A private network between your own devices — so you can reach %1’s proxy from anywhere — is still being built. This switch will start working once it ships.</source>
        <translation>在你自己的设备之间建立私有网络——让你在任何地方都能使用 %1 的代理——仍在开发中。功能发布后，这个开关就会生效。</translation>
    </message>
</context>
<context>
    <name>FRWPlaceholderViewController</name>
    <message>
        <source>Not available in Ferrow.</source>
        <translation>Ferrow 中暂不可用。</translation>
    </message>
</context>
<context>
    <name>FRWPlatformTerms</name>
    <message>
        <source>the system</source>
        <translation>系统</translation>
    </message>
    <message>
        <source>The system</source>
        <translation>系统</translation>
    </message>
    <message>
        <source>this computer</source>
        <translation>这台计算机</translation>
    </message>
    <message>
        <source>computer</source>
        <translation>计算机</translation>
    </message>
    <message>
        <source>File Manager</source>
        <translation>文件管理器</translation>
    </message>
    <message>
        <source>system service</source>
        <translation>系统服务</translation>
    </message>
    <message>
        <source>release</source>
        <translation>发行版</translation>
    </message>
</context>
<context>
    <name>FRWPlusTile</name>
    <message>
        <source>Add</source>
        <translation>添加</translation>
    </message>
</context>
<context>
    <name>FRWPolicyViewController</name>
    <message>
        <source>Every request goes out directly, without going through a node.</source>
        <translation>所有请求都直接发出，不经过任何节点。</translation>
    </message>
    <message>
        <source>Every request is sent through one node.</source>
        <translation>所有请求都经由同一个节点发送。</translation>
    </message>
    <message>
        <source>Using the rule system to decide how each request is handled.</source>
        <translation>使用规则系统决定如何处理每个请求。</translation>
    </message>
    <message>
        <source>Manual Selection Group — you choose the member</source>
        <translation>手动选择组——由你选择成员</translation>
    </message>
    <message>
        <source>Automatic Testing Group — lowest latency wins</source>
        <translation>自动测试组——延迟最低者胜出</translation>
    </message>
    <message>
        <source>Fallback Group — first member that is alive</source>
        <translation>故障转移组——第一个可用的成员</translation>
    </message>
    <message>
        <source>Load Balance Group — spread across members</source>
        <translation>负载均衡组——分散到各成员</translation>
    </message>
    <message>
        <source>Consistent hashing — one site always uses one member</source>
        <translation>一致性哈希——同一站点始终使用同一成员</translation>
    </message>
    <message>
        <source>Round robin — every connection may use a different member</source>
        <translation>轮询——每个连接都可能使用不同的成员</translation>
    </message>
    <message>
        <source>Sticky sessions — this client stays on one member</source>
        <translation>粘性会话——此客户端固定使用一个成员</translation>
    </message>
    <message>
        <source>Automatic Testing Group</source>
        <translation>自动测试组</translation>
    </message>
    <message>
        <source>Fallback Group</source>
        <translation>故障转移组</translation>
    </message>
    <message>
        <source>Load Balance Group</source>
        <translation>负载均衡组</translation>
    </message>
    <message>
        <source>Manual Selection Group</source>
        <translation>手动选择组</translation>
    </message>
    <message>
        <source>Testing…</source>
        <translation>正在测试…</translation>
    </message>
    <message>
        <source>%1 ms · old</source>
        <translation>%1 ms · 旧</translation>
    </message>
    <message>
        <source>Refused</source>
        <translation>被拒绝</translation>
    </message>
    <message>
        <source>No route</source>
        <translation>无路由</translation>
    </message>
    <message>
        <source>Name not found</source>
        <translation>找不到名称</translation>
    </message>
    <message>
        <source>Rejected</source>
        <translation>已拒绝</translation>
    </message>
    <message>
        <source>Timeout</source>
        <translation>超时</translation>
    </message>
    <message>
        <source>Tap to Test</source>
        <translation>点击测试</translation>
    </message>
    <message>
        <source>Policy</source>
        <translation>策略</translation>
    </message>
    <message>
        <source>Direct Outbound</source>
        <translation>直接连接</translation>
    </message>
    <message>
        <source>Global Proxy</source>
        <translation>全局代理</translation>
    </message>
    <message>
        <source>Rule-based Proxy</source>
        <translation>规则判定</translation>
    </message>
    <message>
        <source>Outbound Mode</source>
        <translation>出站模式</translation>
    </message>
    <message>
        <source>Test All</source>
        <translation>全部测试</translation>
    </message>
    <message>
        <source>Add Node</source>
        <translation>添加节点</translation>
    </message>
    <message>
        <source>POLICY GROUP</source>
        <translation>策略组</translation>
    </message>
    <message>
        <source>Add Policy Group</source>
        <translation>添加策略组</translation>
    </message>
    <message>
        <source> (missing)</source>
        <translation>（缺失）</translation>
    </message>
    <message>
        <source>A group chooses between policies you already have; it does not create new ones.</source>
        <translation>组在你已有的策略之间进行选择；它不会创建新的策略。</translation>
    </message>
    <message>
        <source>Group name (e.g. Streaming)</source>
        <translation>组名称（例如 Streaming）</translation>
    </message>
    <message>
        <source>Group name</source>
        <translation>组名称</translation>
    </message>
    <message>
        <source>Group type</source>
        <translation>组类型</translation>
    </message>
    <message>
        <source>Balancing:</source>
        <translation>均衡方式：</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>添加</translation>
    </message>
    <message>
        <source>Delete “%1”?</source>
        <translation>删除“%1”？</translation>
    </message>
    <message>
        <source>Rules that send traffic to this group will fall through to FINAL.</source>
        <translation>将流量发往此组的规则会落到 FINAL。</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>PROXY</source>
        <translation>代理</translation>
    </message>
</context>
<context>
    <name>FRWPrivilegedScriptRunner</name>
    <message>
        <source>Authorization was cancelled.</source>
        <translation>授权已取消。</translation>
    </message>
    <message>
        <source>This account is not allowed to make this change, or the password could not be checked.</source>
        <translation>此帐户无权进行此更改，或无法验证密码。</translation>
    </message>
    <message>
        <source>The change failed (exit status %1).</source>
        <translation>更改失败（退出状态 %1）。</translation>
    </message>
</context>
<context>
    <name>FRWProbeText</name>
    <message>
        <source>never</source>
        <translation>从未</translation>
    </message>
    <message>
        <source>just now</source>
        <translation>刚刚</translation>
    </message>
    <message numerus="yes">
        <source>%n minute ago</source>
        <translation>
            <numerusform>%n 分钟前</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n minutes ago</source>
        <translation>
            <numerusform>%n 分钟前</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n hour ago</source>
        <translation>
            <numerusform>%n 小时前</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n hours ago</source>
        <translation>
            <numerusform>%n 小时前</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FRWProcessViewController</name>
    <message>
        <source>Process</source>
        <translation>进程</translation>
    </message>
    <message>
        <source>No process traffic yet.</source>
        <translation>暂无进程流量。</translation>
    </message>
</context>
<context>
    <name>FRWProfileRow</name>
    <message>
        <source>In use</source>
        <translation>使用中</translation>
    </message>
</context>
<context>
    <name>FRWProfileStore</name>
    <message>
        <source>there is no Trash folder at %1.</source>
        <translation>%1 处没有废纸篓文件夹。</translation>
    </message>
    <message>
        <source>the last profile cannot be deleted.</source>
        <translation>不能删除最后一个配置。</translation>
    </message>
    <message>
        <source>the Trash cannot take it (%1).</source>
        <translation>无法放入废纸篓（%1）。</translation>
    </message>
</context>
<context>
    <name>FRWProfileValidation</name>
    <message>
        <source>%1 cannot contain a line break or a NUL character.</source>
        <translation>%1 不能包含换行符或 NUL 字符。</translation>
    </message>
    <message>
        <source>%1 contains a character that is not valid text.</source>
        <translation>%1 包含无效的文本字符。</translation>
    </message>
    <message>
        <source>%1 cannot contain a comma.</source>
        <translation>%1 不能包含逗号。</translation>
    </message>
    <message>
        <source>%1 cannot begin or end with a space.</source>
        <translation>%1 不能以空格开头或结尾。</translation>
    </message>
    <message>
        <source>Enter a name.</source>
        <translation>请输入名称。</translation>
    </message>
    <message>
        <source>A name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>A name cannot contain “=”.</source>
        <translation>名称不能包含“=”。</translation>
    </message>
    <message>
        <source>A name cannot begin with “#”: the line would be a comment.</source>
        <translation>名称不能以“#”开头：这一行会变成注释。</translation>
    </message>
    <message>
        <source>A name cannot begin with “[”: the line could read as a section.</source>
        <translation>名称不能以“[”开头：这一行可能被当作一个节。</translation>
    </message>
    <message>
        <source>%1 is a built-in policy.</source>
        <translation>%1 是内置策略。</translation>
    </message>
    <message>
        <source>A node named %1 already exists.</source>
        <translation>名为 %1 的节点已存在。</translation>
    </message>
    <message>
        <source>A policy group named %1 already exists.</source>
        <translation>名为 %1 的策略组已存在。</translation>
    </message>
    <message>
        <source>Enter a server.</source>
        <translation>请输入服务器。</translation>
    </message>
    <message>
        <source>A server</source>
        <translation>服务器</translation>
    </message>
    <message>
        <source>The key</source>
        <translation>密钥</translation>
    </message>
    <message>
        <source>This key looks typed rather than generated: it could be guessed from one recorded connection. Use the key the server installer printed.</source>
        <translation>这个密钥看起来是手动输入的而非生成的：仅凭一次被记录的连接就可能被猜出。请使用服务器安装程序打印的密钥。</translation>
    </message>
    <message>
        <source>Enter a value.</source>
        <translation>请输入值。</translation>
    </message>
    <message>
        <source>A rule&apos;s value</source>
        <translation>规则的值</translation>
    </message>
    <message>
        <source>Enter a domain name.</source>
        <translation>请输入域名。</translation>
    </message>
    <message>
        <source>This is not a regular expression the core can use.</source>
        <translation>这不是核心可以使用的正则表达式。</translation>
    </message>
    <message>
        <source>Enter an address or an address range such as 10.0.0.0/8.</source>
        <translation>请输入地址或地址范围，例如 10.0.0.0/8。</translation>
    </message>
    <message>
        <source>Enter a port or a range such as 8000-8100.</source>
        <translation>请输入端口或范围，例如 8000-8100。</translation>
    </message>
    <message>
        <source>Enter tcp or udp.</source>
        <translation>请输入 tcp 或 udp。</translation>
    </message>
</context>
<context>
    <name>FRWProfileViewController</name>
    <message>
        <source>Profile</source>
        <translation>配置</translation>
    </message>
    <message>
        <source>Profiles</source>
        <translation>配置</translation>
    </message>
    <message>
        <source>New Profile</source>
        <translation>新建配置</translation>
    </message>
    <message>
        <source>Duplicate Profile</source>
        <translation>复制配置</translation>
    </message>
    <message>
        <source>Delete Profile</source>
        <translation>删除配置</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>Profile Name</source>
        <translation>配置名称</translation>
    </message>
    <message>
        <source>Set as Active</source>
        <translation>设为当前配置</translation>
    </message>
    <message>
        <source>Reload</source>
        <translation>重新载入</translation>
    </message>
    <message>
        <source>Keep Mine</source>
        <translation>保留我的</translation>
    </message>
    <message>
        <source>Profile Text</source>
        <translation>配置文本</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Import…</source>
        <translation>导入…</translation>
    </message>
    <message>
        <source>Active</source>
        <translation>当前配置</translation>
    </message>
    <message>
        <source>“%1” was changed elsewhere while you edited it. Reload it, or keep your version and save it over those changes.</source>
        <translation>“%1”在你编辑时已在别处被修改。重新载入它，或保留你的版本并用它覆盖那些更改。</translation>
    </message>
    <message>
        <source>Saved</source>
        <translation>已保存</translation>
    </message>
    <message>
        <source>“%1” was kept: %2</source>
        <translation>已保留“%1”：%2</translation>
    </message>
    <message>
        <source>Moved “%1” to the Trash</source>
        <translation>已将“%1”移到废纸篓</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>导入</translation>
    </message>
    <message>
        <source>Profiles (*.conf *.ini *.txt)</source>
        <translation>配置文件 (*.conf *.ini *.txt)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>所有文件 (*)</translation>
    </message>
    <message>
        <source>“%1” is not a UTF-8 text file</source>
        <translation>“%1”不是 UTF-8 文本文件</translation>
    </message>
    <message>
        <source>PROFILES</source>
        <translation>配置</translation>
    </message>
</context>
<context>
    <name>FRWRuleEditorSheet</name>
    <message>
        <source>Edit Rule</source>
        <translation>编辑规则</translation>
    </message>
    <message>
        <source>Add Rule</source>
        <translation>添加规则</translation>
    </message>
    <message>
        <source>Rules are matched top to bottom, and the first one that matches decides where the connection goes.</source>
        <translation>规则自上而下匹配，第一条匹配的规则决定连接的去向。</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>类型</translation>
    </message>
    <message>
        <source>Policy</source>
        <translation>策略</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>值</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>添加</translation>
    </message>
    <message>
        <source>This rule will match</source>
        <translation>这条规则将匹配</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>返回</translation>
    </message>
</context>
<context>
    <name>FRWRuleText</name>
    <message>
        <source>Matches that one host exactly. mail.example.com does not match example.com.</source>
        <translation>只精确匹配这一个主机。mail.example.com 不匹配 example.com。</translation>
    </message>
    <message>
        <source>Matches the host and everything under it: example.com also matches www.example.com.</source>
        <translation>匹配该主机及其下的所有主机：example.com 也匹配 www.example.com。</translation>
    </message>
    <message>
        <source>Matches any host containing this text anywhere in it.</source>
        <translation>匹配名称中任意位置包含此文本的主机。</translation>
    </message>
    <message>
        <source>A host pattern in which * stands for any run of characters.</source>
        <translation>主机名模式，其中 * 代表任意一串字符。</translation>
    </message>
    <message>
        <source>A regular expression matched against the host name.</source>
        <translation>与主机名进行匹配的正则表达式。</translation>
    </message>
    <message>
        <source>An IPv4 address range, matched against the destination address.</source>
        <translation>IPv4 地址范围，与目标地址进行匹配。</translation>
    </message>
    <message>
        <source>An IPv6 address range, matched against the destination address.</source>
        <translation>IPv6 地址范围，与目标地址进行匹配。</translation>
    </message>
    <message>
        <source>An address range matched against the SOURCE — the device the traffic came from.</source>
        <translation>与来源（即流量来自的设备）进行匹配的地址范围。</translation>
    </message>
    <message>
        <source>A two-letter country code, matched against the country of the destination IP.</source>
        <translation>两个字母的国家代码，与目标 IP 所在国家进行匹配。</translation>
    </message>
    <message>
        <source>443   or   8000-8100</source>
        <translation>443   或   8000-8100</translation>
    </message>
    <message>
        <source>The port being connected to: one port, or a range such as 8000-8100.</source>
        <translation>要连接的端口：单个端口，或 8000-8100 这样的范围。</translation>
    </message>
    <message>
        <source>The port the connection came from: one port, or a range.</source>
        <translation>连接来自的端口：单个端口，或一个范围。</translation>
    </message>
    <message>
        <source>tcp or udp.</source>
        <translation>tcp 或 udp。</translation>
    </message>
    <message>
        <source>The name of the program making the connection, as shown on the Process screen.</source>
        <translation>发起连接的程序名称，与“进程”页面上显示的一致。</translation>
    </message>
    <message>
        <source>The full path to the program making the connection.</source>
        <translation>发起连接的程序的完整路径。</translation>
    </message>
    <message>
        <source>The name of a bundled rule set, or the URL of one to download.</source>
        <translation>内置规则集的名称，或要下载的规则集的 URL。</translation>
    </message>
    <message>
        <source>no value needed</source>
        <translation>无需填写值</translation>
    </message>
    <message>
        <source>Matches everything no rule above it matched, so it belongs last and takes no value.</source>
        <translation>匹配上方所有规则都未匹配的一切，因此它应放在最后，且不需要值。</translation>
    </message>
    <message>
        <source>connect directly, without going through a node</source>
        <translation>直接连接，不经过任何节点</translation>
    </message>
    <message>
        <source>be blocked</source>
        <translation>被阻止</translation>
    </message>
    <message>
        <source>be sent through &quot;%1&quot;</source>
        <translation>经由“%1”发送</translation>
    </message>
    <message>
        <source>Connections to exactly %1 will %2.

Only that one host matches. Anything under it — a sub-domain such as www.%1 — does not, and needs its own rule.</source>
        <translation>到 %1 的连接将%2。

只有这一个主机匹配。它下面的主机——例如子域名 www.%1——不匹配，需要单独的规则。</translation>
    </message>
    <message>
        <source>Connections to %1, and to every host under it, will %2.

That includes ones you have not listed: www.%1, api.%1, and any other sub-domain added in future.</source>
        <translation>到 %1 及其下所有主机的连接将%2。

这包括你没有列出的：www.%1、api.%1，以及将来新增的任何子域名。</translation>
    </message>
    <message>
        <source>Connections to any host whose name contains &quot;%1&quot; anywhere in it will %2.

This is the widest of the domain rules and the easiest to underestimate: it matches on the text alone, so a host like %1-cdn.example.net, belonging to somebody else entirely, matches too.</source>
        <translation>到名称中任意位置包含“%1”的主机的连接将%2。

这是范围最广、也最容易被低估的域名规则：它只按文本匹配，所以像 %1-cdn.example.net 这样完全属于别人的主机也会匹配。</translation>
    </message>
    <message>
        <source>Connections to any host matching the pattern %1 will %2.

* stands for any run of characters, so the pattern can reach further than the example it was written from.</source>
        <translation>到与模式 %1 匹配的任意主机的连接将%2。

* 代表任意一串字符，所以这个模式匹配的范围可能比写它时参照的例子更广。</translation>
    </message>
    <message>
        <source>Connections to any host matching the expression %1 will %2.

An expression that matches more than intended is easy to write and hard to spot afterwards — an unanchored pattern matches anywhere in the name.</source>
        <translation>到与表达式 %1 匹配的任意主机的连接将%2。

匹配范围超出预期的表达式很容易写出来，事后却很难发现——没有锚定的模式会匹配名称中的任意位置。</translation>
    </message>
    <message>
        <source>Connections to any address in the range %1 will %2.

This is matched on the destination address, so it applies no matter what host name was used to reach it.</source>
        <translation>到范围 %1 内任意地址的连接将%2。

这是按目标地址匹配的，所以无论用什么主机名访问它都适用。</translation>
    </message>
    <message>
        <source>Connections coming FROM any address in %1 will %2.

This matches the source, not the destination — it is for routing other devices on your network, and does not affect this computer&apos;s own traffic.</source>
        <translation>来自 %1 中任意地址的连接将%2。

这匹配的是来源而非目标——用于转发你网络中的其他设备，不影响这台计算机自己的流量。</translation>
    </message>
    <message>
        <source>Connections to port %1 — on any host at all — will %2.

This matches the port alone, so it applies to every destination. A rule on 443 covers essentially all HTTPS traffic.</source>
        <translation>到端口 %1 的连接——无论是哪个主机——都将%2。

这只按端口匹配，所以适用于所有目标。针对 443 的规则几乎涵盖全部 HTTPS 流量。</translation>
    </message>
    <message>
        <source>Connections coming from port %1 will %2.

Source ports are normally picked at random by the system, so this is really only useful for a service that binds a fixed one.</source>
        <translation>来自端口 %1 的连接将%2。

来源端口通常由系统随机选择，所以这只对绑定固定端口的服务真正有用。</translation>
    </message>
    <message>
        <source>Every %1 connection will %2, whatever its destination.</source>
        <translation>所有 %1 连接都将%2，无论目标是什么。</translation>
    </message>
    <message>
        <source>Connections made by %1 will %2.

Matched on the program&apos;s name alone, so any program called %1 matches, wherever on disk it is.</source>
        <translation>由 %1 发起的连接将%2。

只按程序名称匹配，所以任何名为 %1 的程序都会匹配，无论它在磁盘上的什么位置。</translation>
    </message>
    <message>
        <source>Connections made by the program at %1 will %2.

Matched on the whole path, so another copy of the same app elsewhere will not match.</source>
        <translation>由位于 %1 的程序发起的连接将%2。

按完整路径匹配，所以同一应用在别处的另一个副本不会匹配。</translation>
    </message>
    <message>
        <source>Connections whose destination address is in %1 will %2.

The country comes from a lookup of the IP address, so it follows where the server is, not where the site is from.</source>
        <translation>目标地址位于 %1 的连接将%2。

国家来自对 IP 地址的查询，所以它取决于服务器所在的位置，而不是网站来自哪里。</translation>
    </message>
    <message>
        <source>Everything in the rule set &quot;%1&quot; will %2.

What that covers is decided by the set&apos;s contents, which can be thousands of entries and can change when the set is updated.</source>
        <translation>规则集“%1”中的所有内容将%2。

它涵盖的范围由规则集的内容决定，可能多达数千条，并且会在规则集更新时变化。</translation>
    </message>
    <message>
        <source>Anything that no rule above it matched will %1.

This is the catch-all, so it only makes sense as the last rule in the list.</source>
        <translation>上方所有规则都未匹配的一切将%1。

这是兜底规则，所以只有放在列表最后才有意义。</translation>
    </message>
    <message>
        <source>%1 %2 will %3.</source>
        <translation>%1 %2 将%3。</translation>
    </message>
    <message>
        <source>

Rules are matched top to bottom, and the first match wins — so a broader rule above this one will decide first.</source>
        <translation>

规则自上而下匹配，第一条匹配者胜出——所以在这条规则上方、范围更广的规则会先做决定。</translation>
    </message>
</context>
<context>
    <name>FRWRuleViewController</name>
    <message>
        <source>Rule</source>
        <translation>规则</translation>
    </message>
    <message>
        <source>Rules are evaluated in priority order, top to bottom.</source>
        <translation>规则按优先级自上而下评估。</translation>
    </message>
    <message>
        <source>+ Add Rule</source>
        <translation>+ 添加规则</translation>
    </message>
    <message>
        <source>Rules</source>
        <translation>规则</translation>
    </message>
    <message>
        <source>Edit Rule…</source>
        <translation>编辑规则…</translation>
    </message>
    <message>
        <source>Delete Rule</source>
        <translation>删除规则</translation>
    </message>
</context>
<context>
    <name>FRWRulesModel</name>
    <message>
        <source>Type</source>
        <translation>类型</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>值</translation>
    </message>
    <message>
        <source>Policy</source>
        <translation>策略</translation>
    </message>
    <message>
        <source>none</source>
        <translation>无</translation>
    </message>
</context>
<context>
    <name>FRWScreenText</name>
    <message>
        <source>Direct</source>
        <translation>直连</translation>
    </message>
    <message>
        <source>Global: %1</source>
        <translation>全局：%1</translation>
    </message>
    <message>
        <source>Rule-Based Proxy</source>
        <translation>规则判定</translation>
    </message>
    <message>
        <source>just now</source>
        <translation>刚刚</translation>
    </message>
    <message>
        <source>%1s ago</source>
        <translation>%1 秒前</translation>
    </message>
    <message>
        <source>%1m ago</source>
        <translation>%1 分钟前</translation>
    </message>
    <message>
        <source>The ferrow:// link on the clipboard is malformed</source>
        <translation>剪贴板上的 ferrow:// 链接格式有误</translation>
    </message>
    <message>
        <source>No ferrow:// link on the clipboard</source>
        <translation>剪贴板上没有 ferrow:// 链接</translation>
    </message>
</context>
<context>
    <name>FRWSettingsViewController</name>
    <message>
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Ferrow %1</source>
        <translation>Ferrow %1</translation>
    </message>
    <message>
        <source>Enhanced Mode Helper</source>
        <translation>增强模式助手</translation>
    </message>
    <message>
        <source>Enhanced Mode routes all traffic through a system-wide tunnel. Creating the tunnel interface and its routes needs a small helper that runs as root, started by systemd when Ferrow asks for it. It is installed once; %1 asks you to approve it with your password.</source>
        <translation>增强模式让所有流量经过一条系统级隧道。创建隧道接口及其路由需要一个以 root 身份运行的小助手，它在 Ferrow 需要时由 systemd 启动。只需安装一次；%1 会请你输入密码来批准。</translation>
    </message>
    <message>
        <source>Installed</source>
        <translation>已安装</translation>
    </message>
    <message>
        <source>Install</source>
        <translation>安装</translation>
    </message>
    <message>
        <source>Uninstall</source>
        <translation>卸载</translation>
    </message>
    <message>
        <source>Permissions</source>
        <translation>权限</translation>
    </message>
    <message>
        <source>Ferrow asks for two, both optional — it works without either, just with less to show you.</source>
        <translation>Ferrow 会请求两项权限，都是可选的——没有它们也能工作，只是能显示的信息少一些。</translation>
    </message>
    <message>
        <source>Location</source>
        <translation>位置</translation>
    </message>
    <message>
        <source>The name of the Wi-Fi network you are on comes from NetworkManager and is shown on the Activity screen instead of the interface name. Reading it needs no permission, and no location data is involved: your location is never read, stored or sent anywhere.</source>
        <translation>你所连接的 Wi-Fi 网络名称来自 NetworkManager，并在“活动”页面上代替接口名称显示。读取它不需要任何权限，也不涉及位置数据：你的位置从不会被读取、存储或发送到任何地方。</translation>
    </message>
    <message>
        <source>Notifications</source>
        <translation>通知</translation>
    </message>
    <message>
        <source>Lets Ferrow tell you when something needs attention while its window is closed: a rule-set that has stopped updating, or a node that has stopped answering — and again when it recovers. Nothing else is ever sent as a notification.</source>
        <translation>让 Ferrow 在窗口关闭时告诉你需要注意的事：某个规则集停止更新，或某个节点停止响应——恢复时也会再次通知。除此之外不会发送任何通知。</translation>
    </message>
    <message>
        <source>Granted</source>
        <translation>已授予</translation>
    </message>
    <message>
        <source>Allow</source>
        <translation>允许</translation>
    </message>
    <message>
        <source>Privacy</source>
        <translation>隐私</translation>
    </message>
    <message>
        <source>Network checks</source>
        <translation>网络检查</translation>
    </message>
    <message>
        <source>Looks up your external address and its location from public echo and location services, and measures the latency to a public resolver, for the Activity screen. Off, Ferrow contacts none of them.</source>
        <translation>通过公共回显和定位服务查询你的外部地址及其位置，并测量到公共解析器的延迟，用于“活动”页面。关闭后，Ferrow 不会联系其中任何一个。</translation>
    </message>
    <message>
        <source>Check for updates</source>
        <translation>检查更新</translation>
    </message>
    <message>
        <source>Reads the release feed at %1 a minute after launch.</source>
        <translation>启动一分钟后读取 %1 上的发布信息源。</translation>
    </message>
    <message>
        <source>General</source>
        <translation>通用</translation>
    </message>
    <message>
        <source>Launch Ferrow at login</source>
        <translation>登录时启动 Ferrow</translation>
    </message>
    <message>
        <source>Installed by the system package</source>
        <translation>由系统软件包安装</translation>
    </message>
    <message>
        <source> (version %1)</source>
        <translation>（版本 %1）</translation>
    </message>
    <message>
        <source> · running</source>
        <translation> · 运行中</translation>
    </message>
    <message>
        <source> · waiting for Ferrow</source>
        <translation> · 等待 Ferrow</translation>
    </message>
    <message>
        <source> · not started (%1)</source>
        <translation> · 未启动（%1）</translation>
    </message>
    <message>
        <source> · out of date, update the ferrow package</source>
        <translation> · 已过时，请更新 ferrow 软件包</translation>
    </message>
    <message>
        <source> · out of date, reinstalled at the next connect</source>
        <translation> · 已过时，将在下次连接时重新安装</translation>
    </message>
    <message>
        <source>A helper that Ferrow installed from a build folder is also present and takes the package&apos;s place in systemd. Uninstall removes that copy, and the package&apos;s helper takes over; Ferrow never installs its own over the package&apos;s.</source>
        <translation>还存在一个由 Ferrow 从构建目录安装的助手，它在 systemd 中取代了软件包的助手。卸载会移除那个副本，由软件包的助手接管；Ferrow 从不会用自己的助手覆盖软件包的助手。</translation>
    </message>
    <message>
        <source>This copy of Ferrow is not the one the package installed. The package&apos;s helper only serves a Ferrow signed with the package&apos;s key, and Ferrow never installs its own over the package&apos;s: use the installed Ferrow for Enhanced Mode, or remove the package.</source>
        <translation>这个 Ferrow 副本不是软件包安装的那个。软件包的助手只为使用该软件包密钥签名的 Ferrow 服务，而 Ferrow 从不会用自己的助手覆盖软件包的助手：请使用已安装的 Ferrow 来开启增强模式，或移除该软件包。</translation>
    </message>
    <message>
        <source>Helper requires a signed build</source>
        <translation>助手需要已签名的构建</translation>
    </message>
    <message>
        <source>The privileged helper is only installed when it carries the signature of this build of Ferrow, and the helper that came with it does not verify. Reinstall Ferrow from its package, or rebuild it so that the build signs its own helper again.</source>
        <translation>只有当特权助手带有这一 Ferrow 构建的签名时才会被安装，而随附的助手未能通过验证。请从软件包重新安装 Ferrow，或重新构建，让构建再次为自己的助手签名。</translation>
    </message>
    <message>
        <source>Helper installation needs approval</source>
        <translation>助手安装需要批准</translation>
    </message>
    <message>
        <source>Helper could not be installed</source>
        <translation>无法安装助手</translation>
    </message>
    <message>
        <source>Remove the Enhanced Mode helper?</source>
        <translation>移除增强模式助手？</translation>
    </message>
    <message>
        <source>This stops the tunnel and removes the root helper (%1). You can reinstall it any time — it&apos;s also how you upgrade the helper after an app update. %2 will ask for your password.</source>
        <translation>这会停止隧道并移除 root 助手（%1）。你可以随时重新安装它——应用更新后升级助手也是这样做的。%2 会要求你输入密码。</translation>
    </message>
    <message>
        <source>Couldn&apos;t remove the helper</source>
        <translation>无法移除助手</translation>
    </message>
    <message>
        <source>Open Settings</source>
        <translation>打开设置</translation>
    </message>
    <message>
        <source>No notification service answers</source>
        <translation>没有通知服务响应</translation>
    </message>
    <message>
        <source>Ferrow shows its notifications through the desktop&apos;s notification service (org.freedesktop.Notifications), and none answers in this session. Start your desktop&apos;s notification daemon, or install one such as dunst or mako, then come back to this page.</source>
        <translation>Ferrow 通过桌面的通知服务（org.freedesktop.Notifications）显示通知，而本会话中没有任何服务响应。请启动桌面的通知守护进程，或安装一个（例如 dunst 或 mako），然后回到此页面。</translation>
    </message>
</context>
<context>
    <name>FRWSidebarViewController</name>
    <message>
        <source>Pages</source>
        <translation>页面</translation>
    </message>
    <message>
        <source>Activity</source>
        <translation>活动</translation>
    </message>
    <message>
        <source>Overview</source>
        <translation>概览</translation>
    </message>
    <message>
        <source>Connections</source>
        <translation>连接</translation>
    </message>
    <message>
        <source>Clients</source>
        <translation>客户端</translation>
    </message>
    <message>
        <source>Process</source>
        <translation>进程</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>设备</translation>
    </message>
    <message>
        <source>Proxies</source>
        <translation>代理</translation>
    </message>
    <message>
        <source>Profile</source>
        <translation>配置</translation>
    </message>
    <message>
        <source>Policy</source>
        <translation>策略</translation>
    </message>
    <message>
        <source>Rule</source>
        <translation>规则</translation>
    </message>
    <message>
        <source>System</source>
        <translation>系统</translation>
    </message>
    <message>
        <source>Logs</source>
        <translation>日志</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>设置</translation>
    </message>
</context>
<context>
    <name>FRWStatusMenuBuilder</name>
    <message>
        <source>Failed</source>
        <translation>失败</translation>
    </message>
    <message>
        <source>Show Main Window</source>
        <translation>显示主窗口</translation>
    </message>
    <message>
        <source>Rule-Based</source>
        <translation>规则判定</translation>
    </message>
    <message>
        <source>Direct</source>
        <translation>直连</translation>
    </message>
    <message>
        <source>Global via</source>
        <translation>全局经由</translation>
    </message>
    <message>
        <source>Outbound Mode</source>
        <translation>出站模式</translation>
    </message>
    <message>
        <source>Testing…</source>
        <translation>正在测试…</translation>
    </message>
    <message>
        <source>Test All</source>
        <translation>全部测试</translation>
    </message>
    <message>
        <source>Top Clients</source>
        <translation>流量最多的客户端</translation>
    </message>
    <message>
        <source>    No traffic yet</source>
        <translation>    暂无流量</translation>
    </message>
    <message>
        <source>Set as System Proxy</source>
        <translation>设为系统代理</translation>
    </message>
    <message>
        <source>Enhanced Mode</source>
        <translation>增强模式</translation>
    </message>
    <message>
        <source>Copy Shell Export Command</source>
        <translation>复制 Shell 导出命令</translation>
    </message>
    <message>
        <source>Switch Profile</source>
        <translation>切换配置</translation>
    </message>
    <message>
        <source>Untitled</source>
        <translation>未命名</translation>
    </message>
    <message>
        <source>External Resources</source>
        <translation>外部资源</translation>
    </message>
    <message>
        <source>Update All External Resources</source>
        <translation>更新所有外部资源</translation>
    </message>
    <message>
        <source>Edit in Text Editor</source>
        <translation>在文本编辑器中编辑</translation>
    </message>
    <message>
        <source>Reveal in %1</source>
        <translation>在%1中显示</translation>
    </message>
    <message>
        <source>Reload Profile from File</source>
        <translation>从文件重新载入配置</translation>
    </message>
    <message>
        <source>Check For Updates…</source>
        <translation>检查更新…</translation>
    </message>
    <message>
        <source>Quit Ferrow</source>
        <translation>退出 Ferrow</translation>
    </message>
</context>
<context>
    <name>FRWTerminatingPanel</name>
    <message>
        <source>Terminating…</source>
        <translation>正在终止…</translation>
    </message>
    <message>
        <source>Restoring DNS and routing</source>
        <translation>正在恢复 DNS 和路由</translation>
    </message>
</context>
<context>
    <name>FRWTunnelController</name>
    <message>
        <source>%1 would not apply the proxy settings. This usually means the account is not an administrator, or Network settings are locked.</source>
        <translation>%1不肯应用代理设置。这通常意味着该帐户不是管理员，或网络设置已被锁定。</translation>
    </message>
    <message>
        <source>The core exited during startup. Check the profile for errors.</source>
        <translation>核心在启动期间退出。请检查配置中的错误。</translation>
    </message>
    <message>
        <source>The core exited during startup: %1</source>
        <translation>核心在启动期间退出：%1</translation>
    </message>
    <message>
        <source>The core did not finish starting up.</source>
        <translation>核心未能完成启动。</translation>
    </message>
</context>
<context>
    <name>FRWTunnelTexts</name>
    <message>
        <source>No server configured. Open Profile, set a server and PSK, then Save.</source>
        <translation>尚未配置服务器。打开“配置”，设置服务器和 PSK，然后保存。</translation>
    </message>
    <message>
        <source>Bundled core binary is missing.</source>
        <translation>内置的核心程序缺失。</translation>
    </message>
    <message>
        <source>The Enhanced Mode helper comes with the system package ferrow%1, so Ferrow does not install or remove its own in its place. Update or remove it with the system&apos;s package manager.</source>
        <translation>增强模式助手随系统软件包 ferrow%1 提供，因此 Ferrow 不会在其位置安装或移除自己的助手。请用系统的软件包管理器更新或移除它。</translation>
    </message>
</context>
<context>
    <name>FRWUpdateChecker</name>
    <message>
        <source>The update feed could not be read.</source>
        <translation>无法读取更新信息源。</translation>
    </message>
    <message>
        <source>Update Error!</source>
        <translation>更新出错！</translation>
    </message>
    <message>
        <source>An error occurred in retrieving update information. Please try again later.

%1</source>
        <translation>获取更新信息时出错。请稍后再试。

%1</translation>
    </message>
    <message>
        <source>You’re up-to-date!</source>
        <translation>已是最新版本！</translation>
    </message>
    <message>
        <source>Ferrow %1 is currently the newest version available.</source>
        <translation>Ferrow %1 是目前可用的最新版本。</translation>
    </message>
    <message>
        <source>A new version of Ferrow is available!</source>
        <translation>Ferrow 有新版本可用！</translation>
    </message>
    <message>
        <source>Ferrow %1 is now available—you have %2.</source>
        <translation>Ferrow %1 现已推出——你的版本是 %2。</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>下载</translation>
    </message>
    <message>
        <source>Remind Me Later</source>
        <translation>稍后提醒我</translation>
    </message>
</context>
</TS>
