<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fa_IR">
<context>
    <name>FRWAboutViewController</name>
    <message>
        <source>About</source>
        <translation>درباره</translation>
    </message>
    <message>
        <source>A ferrow is the metal band that holds a blade fast in its handle: a small, plain part that keeps the connection tight. On the wire the protocol is as plain: its contents are encrypted from the very first byte, and it has no fixed shape for a classifier to key on — no TLS handshake, no imitated HTTP, no constant prefix, no fixed length. An observer can see that traffic passes, but not what it is.</source>
        <translation>‏Ferrow (حلقه) همان نوار فلزی است که تیغه را محکم در دسته نگه می‌دارد: قطعه‌ای کوچک و ساده که اتصال را سفت نگه می‌دارد. پروتکل هم روی سیم همین‌قدر ساده است: محتوایش از همان نخستین بایت رمزنگاری شده و هیچ شکل ثابتی ندارد که طبقه‌بند بتواند به آن تکیه کند — نه دست‌دهی TLS، نه تقلید HTTP، نه پیشوند ثابت و نه طول ثابت. ناظر می‌بیند که ترافیکی عبور می‌کند، اما نمی‌فهمد چیست.</translation>
    </message>
    <message>
        <source>What it is built for</source>
        <translation>برای چه ساخته شده</translation>
    </message>
    <message>
        <source>First, resisting detection and blocking: passive fingerprinting first, then active probing — a prober that cannot authenticate gets no answer at all, exactly as for a wrong guess. Second, speed: pure TCP, a single AEAD seal per frame, a prewarmed pool of connections, and TCP Fast Open where the path allows it. All of it serves one purpose: free access to information.</source>
        <translation>نخست، مقاومت در برابر شناسایی و مسدودسازی: اول در برابر انگشت‌نگاری منفعل، سپس در برابر کاوش فعال — کاوشگری که نتواند احراز هویت کند هیچ پاسخی نمی‌گیرد، درست مانند یک حدس نادرست. دوم، سرعت: TCP خالص، یک مهر AEAD برای هر فریم، مخزنی از اتصال‌های از پیش آماده و TCP Fast Open هر جا مسیر اجازه دهد. همهٔ این‌ها یک هدف دارند: دسترسی آزاد به اطلاعات.</translation>
    </message>
    <message>
        <source>You need a server</source>
        <translation>به یک سرور نیاز دارید</translation>
    </message>
    <message>
        <source>This application is the client. It connects to a server that you run yourself; there is no shared or hosted service. Copy the ferrow-server package to any Debian or Ubuntu machine with a public address and set it up there (SERVER is how you reach it over SSH):</source>
        <translation>این برنامه کلاینت است. به سروری وصل می‌شود که خودتان اجرا می‌کنید؛ هیچ سرویس اشتراکی یا میزبانی‌شده‌ای وجود ندارد. بستهٔ ferrow-server را روی هر دستگاه Debian یا Ubuntu با نشانی عمومی کپی کنید و همان‌جا راه‌اندازی کنید (SERVER نشانی‌ای است که با SSH به آن می‌رسید):</translation>
    </message>
    <message>
        <source>This application is the client. It connects to a server that you run yourself; there is no shared or hosted service. This command sets one up on any Linux machine with a public address:</source>
        <translation>این برنامه کلاینت است. به سروری وصل می‌شود که خودتان اجرا می‌کنید؛ هیچ سرویس اشتراکی یا میزبانی‌شده‌ای وجود ندارد. این فرمان یک سرور را روی هر دستگاه Linux با نشانی عمومی راه‌اندازی می‌کند:</translation>
    </message>
    <message>
        <source>Copy the command</source>
        <translation>کپی فرمان</translation>
    </message>
    <message>
        <source>Copy the install command</source>
        <translation>کپی فرمان نصب</translation>
    </message>
    <message>
        <source>The set-up prints a PSK and a port when it finishes. Put those into a node on the Policy screen and you are connected.</source>
        <translation>راه‌اندازی در پایان یک PSK و یک درگاه چاپ می‌کند. آن‌ها را در یک گره در صفحهٔ «سیاست» وارد کنید تا وصل شوید.</translation>
    </message>
    <message>
        <source>Ferrow %1 (%2)</source>
        <translation>Ferrow %1 (%2)</translation>
    </message>
</context>
<context>
    <name>FRWActivityViewController</name>
    <message>
        <source>Activity</source>
        <translation>فعالیت</translation>
    </message>
    <message>
        <source>System Proxy</source>
        <translation>پروکسی سیستم</translation>
    </message>
    <message>
        <source>Enhanced Mode</source>
        <translation>حالت پیشرفته</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>شبکه</translation>
    </message>
    <message>
        <source>Profile</source>
        <translation>پروفایل</translation>
    </message>
    <message>
        <source>Outbound Mode</source>
        <translation>حالت خروجی</translation>
    </message>
    <message>
        <source>Rule-Based Proxy</source>
        <translation>پروکسی بر اساس قانون</translation>
    </message>
    <message>
        <source>External IP</source>
        <translation>‏IP خارجی</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>ارسال</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>دریافت</translation>
    </message>
    <message>
        <source>Add your server to get started</source>
        <translation>برای شروع، سرور خود را اضافه کنید</translation>
    </message>
    <message>
        <source>The profile still holds the example nodes, which cannot work. Copy the ferrow:// link your server printed and paste it here: Ferrow adds the node, puts it in the Proxy group and chooses it. Then turn on System Proxy.

No server yet? Install ferrow-server on a machine of yours; the About page has the commands.

To show your external address, its location and your resolver&apos;s latency, Ferrow asks public echo, location and DNS services; turn that off under Settings → Privacy.</source>
        <translation>پروفایل هنوز گره‌های نمونه را دارد که کار نمی‌کنند. پیوند ferrow:// را که سرورتان چاپ کرده کپی کنید و این‌جا بچسبانید: Ferrow گره را اضافه می‌کند، آن را در گروه Proxy می‌گذارد و انتخابش می‌کند. سپس پروکسی سیستم را روشن کنید.

هنوز سروری ندارید؟ ferrow-server را روی یکی از دستگاه‌های خود نصب کنید؛ فرمان‌ها در صفحهٔ «درباره» آمده است.

برای نمایش نشانی خارجی، موقعیت آن و تأخیر حل‌کنندهٔ DNS، Ferrow از سرویس‌های عمومی بازتاب، موقعیت‌یابی و DNS می‌پرسد؛ این کار را در «تنظیمات ← حریم خصوصی» خاموش کنید.</translation>
    </message>
    <message>
        <source>Paste ferrow:// Link</source>
        <translation>چسباندن پیوند ferrow://</translation>
    </message>
    <message>
        <source>Add %1</source>
        <translation>افزودن %1</translation>
    </message>
    <message>
        <source>Add “%1”</source>
        <translation>افزودن «%1»</translation>
    </message>
    <message>
        <source>A ferrow:// link for %1 is on the clipboard.</source>
        <translation>پیوند ferrow:// برای %1 در کلیپ‌بورد است.</translation>
    </message>
    <message>
        <source>Internet Latency</source>
        <translation>تأخیر اینترنت</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>تازه‌سازی</translation>
    </message>
    <message>
        <source>Proxy</source>
        <translation>پروکسی</translation>
    </message>
    <message>
        <source>Active Connection</source>
        <translation>اتصال فعال</translation>
    </message>
    <message>
        <source>Processes</source>
        <translation>فرایندها</translation>
    </message>
    <message>
        <source>Total Traffic</source>
        <translation>کل ترافیک</translation>
    </message>
    <message>
        <source>Total Traffic Period</source>
        <translation>بازهٔ کل ترافیک</translation>
    </message>
    <message>
        <source>Traffic</source>
        <translation>ترافیک</translation>
    </message>
    <message>
        <source>Traffic Shown</source>
        <translation>ترافیک نمایش‌داده‌شده</translation>
    </message>
    <message>
        <source>Traffic Grouped By</source>
        <translation>گروه‌بندی ترافیک بر اساس</translation>
    </message>
    <message>
        <source>No traffic yet</source>
        <translation>هنوز ترافیکی نیست</translation>
    </message>
    <message>
        <source>Rule-Based</source>
        <translation>بر اساس قانون</translation>
    </message>
    <message>
        <source>Direct</source>
        <translation>مستقیم</translation>
    </message>
    <message>
        <source>Global</source>
        <translation>سراسری</translation>
    </message>
    <message>
        <source>(connect to load nodes)</source>
        <translation>(برای بارگیری گره‌ها وصل شوید)</translation>
    </message>
    <message>
        <source>Last Updated: %1</source>
        <translation>آخرین به‌روزرسانی: %1</translation>
    </message>
    <message>
        <source>Show IPv4 Address</source>
        <translation>نمایش نشانی IPv4</translation>
    </message>
    <message>
        <source>Show IPv6 Address</source>
        <translation>نمایش نشانی IPv6</translation>
    </message>
    <message>
        <source>Refresh Now</source>
        <translation>تازه‌سازی اکنون</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>کپی</translation>
    </message>
    <message>
        <source>TODAY</source>
        <translation>امروز</translation>
    </message>
    <message>
        <source>MONTH</source>
        <translation>این ماه</translation>
    </message>
    <message>
        <source>ALL</source>
        <translation>همه</translation>
    </message>
    <message>
        <source>PROXY</source>
        <translation>پروکسی</translation>
    </message>
    <message>
        <source>CLIENT</source>
        <translation>کلاینت</translation>
    </message>
    <message>
        <source>DOMAIN</source>
        <translation>دامنه</translation>
    </message>
    <message>
        <source>POLICY</source>
        <translation>سیاست</translation>
    </message>
    <message>
        <source>NOW</source>
        <translation>اکنون</translation>
    </message>
    <message>
        <source>1D</source>
        <comment>today</comment>
        <translation>امروز</translation>
    </message>
    <message>
        <source>7D</source>
        <comment>seven days</comment>
        <translation>۷ روز</translation>
    </message>
    <message>
        <source>30D</source>
        <comment>thirty days</comment>
        <translation>۳۰ روز</translation>
    </message>
    <message>
        <source>Traffic Period</source>
        <translation>بازهٔ ترافیک</translation>
    </message>
</context>
<context>
    <name>FRWAppDelegate</name>
    <message>
        <source>About Ferrow</source>
        <translation>دربارهٔ Ferrow</translation>
    </message>
    <message>
        <source>Ferrow %1</source>
        <translation>Ferrow %1</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>بررسی به‌روزرسانی…</translation>
    </message>
    <message>
        <source>Hide Ferrow</source>
        <translation>پنهان کردن Ferrow</translation>
    </message>
    <message>
        <source>Quit Ferrow</source>
        <translation>خروج از Ferrow</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>ویرایش</translation>
    </message>
    <message>
        <source>Check for Updates</source>
        <translation>بررسی به‌روزرسانی</translation>
    </message>
    <message>
        <source>Ferrow is updated by the system’s package manager.</source>
        <translation>‏Ferrow را مدیر بستهٔ سیستم به‌روز می‌کند.</translation>
    </message>
    <message>
        <source>New versions arrive with the system’s other updates.</source>
        <translation>نسخه‌های تازه همراه با دیگر به‌روزرسانی‌های سیستم می‌رسند.</translation>
    </message>
    <message>
        <source>Shell export command copied</source>
        <translation>فرمان export پوسته کپی شد</translation>
    </message>
</context>
<context>
    <name>FRWAppModel</name>
    <message>
        <source>Also logged in to this computer: %1. While Enhanced Mode is on, their traffic and DNS go through your profile, and you can see it.</source>
        <translation>کاربران دیگری هم که به این رایانه وارد شده‌اند: %1. تا وقتی حالت پیشرفته روشن است، ترافیک و DNS آن‌ها از پروفایل شما می‌گذرد و شما آن را می‌بینید.</translation>
    </message>
    <message>
        <source>System Proxy stopped</source>
        <translation>پروکسی سیستم متوقف شد</translation>
    </message>
    <message>
        <source>Its core exited. The desktop&apos;s proxy settings were put back, so traffic now goes out directly.</source>
        <translation>هستهٔ آن بسته شد. تنظیمات پروکسی میزکار بازگردانده شد، پس اکنون ترافیک مستقیم بیرون می‌رود.</translation>
    </message>
    <message>
        <source>Enhanced Mode stopped</source>
        <translation>حالت پیشرفته متوقف شد</translation>
    </message>
    <message>
        <source>Its core exited, so traffic now goes out directly.</source>
        <translation>هستهٔ آن بسته شد، پس اکنون ترافیک مستقیم بیرون می‌رود.</translation>
    </message>
    <message>
        <source>Couldn&apos;t connect</source>
        <translation>اتصال برقرار نشد</translation>
    </message>
    <message>
        <source>Couldn&apos;t start System Proxy</source>
        <translation>پروکسی سیستم راه‌اندازی نشد</translation>
    </message>
    <message>
        <source>System Proxy was not turned back on</source>
        <translation>پروکسی سیستم دوباره روشن نشد</translation>
    </message>
    <message>
        <source>Enhanced Mode was not turned back on</source>
        <translation>حالت پیشرفته دوباره روشن نشد</translation>
    </message>
</context>
<context>
    <name>FRWClientRowDelegate</name>
    <message>
        <source>Total %1</source>
        <translation>مجموع ‪%1‬</translation>
    </message>
</context>
<context>
    <name>FRWClientsViewController</name>
    <message>
        <source>Nothing yet.</source>
        <translation>هنوز چیزی نیست.</translation>
    </message>
    <message>
        <source>Now</source>
        <translation>اکنون</translation>
    </message>
    <message>
        <source>Today</source>
        <translation>امروز</translation>
    </message>
    <message>
        <source>7 Days</source>
        <translation>۷ روز</translation>
    </message>
    <message>
        <source>30 Days</source>
        <translation>۳۰ روز</translation>
    </message>
    <message>
        <source>Period</source>
        <translation>بازه</translation>
    </message>
    <message>
        <source>The history is not available without the core.</source>
        <translation>بدون هسته، تاریخچه در دسترس نیست.</translation>
    </message>
    <message>
        <source>Nothing in this period.</source>
        <translation>در این بازه چیزی نیست.</translation>
    </message>
</context>
<context>
    <name>FRWConnectionsViewController</name>
    <message>
        <source>Connections</source>
        <translation>اتصال‌ها</translation>
    </message>
    <message>
        <source>Search Connections</source>
        <translation>جست‌وجوی اتصال‌ها</translation>
    </message>
    <message>
        <source>Filter host, process, policy, rule…</source>
        <translation>پالایش میزبان، فرایند، سیاست، قانون…</translation>
    </message>
    <message>
        <source>Select a connection above to see its fake IP, client and matched rule.</source>
        <translation>یک اتصال را در بالا انتخاب کنید تا IP جعلی، کلاینت و قانون منطبق آن را ببینید.</translation>
    </message>
    <message numerus="yes">
        <source>%n matching</source>
        <translation>
            <numerusform>‏%n مورد منطبق</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n active  ·  %1 total</source>
        <translation>
            <numerusform>‏%n فعال  ·  ‪%1‬ در کل</numerusform>
        </translation>
    </message>
    <message>
        <source>No connections match your filter.</source>
        <translation>هیچ اتصالی با پالایهٔ شما منطبق نیست.</translation>
    </message>
    <message>
        <source>No connections yet.
Connect and browse to see live traffic.</source>
        <translation>هنوز اتصالی نیست.
وصل شوید و مرور کنید تا ترافیک زنده را ببینید.</translation>
    </message>
    <message>
        <source>Destination</source>
        <translation>مقصد</translation>
    </message>
    <message>
        <source>Policy / Group</source>
        <translation>سیاست / گروه</translation>
    </message>
    <message>
        <source>Matched rule</source>
        <translation>قانون منطبق</translation>
    </message>
    <message>
        <source>Fake IP</source>
        <translation>‏IP جعلی</translation>
    </message>
    <message>
        <source>— (not fake-ip)</source>
        <translation>— (بدون fake-ip)</translation>
    </message>
    <message>
        <source>Client process</source>
        <translation>فرایند کلاینت</translation>
    </message>
    <message>
        <source>— (unknown)</source>
        <translation>— (ناشناخته)</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>مبدأ</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>شبکه</translation>
    </message>
    <message>
        <source>Traffic</source>
        <translation>ترافیک</translation>
    </message>
    <message>
        <source>State</source>
        <translation>وضعیت</translation>
    </message>
    <message>
        <source>%1 · started %2</source>
        <translation>‏%1 · آغاز در %2</translation>
    </message>
    <message>
        <source>DETAILS</source>
        <translation>جزئیات</translation>
    </message>
    <message>
        <source>closed</source>
        <translation>بسته</translation>
    </message>
    <message>
        <source>active</source>
        <translation>فعال</translation>
    </message>
</context>
<context>
    <name>FRWCoreLauncher</name>
    <message>
        <source>%1 is not an executable file</source>
        <translation>‏%1 پروندهٔ اجرایی نیست</translation>
    </message>
</context>
<context>
    <name>FRWDeviceViewController</name>
    <message>
        <source>Device</source>
        <translation>دستگاه</translation>
    </message>
    <message>
        <source>Gateway Mode</source>
        <translation>حالت دروازه</translation>
    </message>
    <message>
        <source>Gateway settings</source>
        <translation>تنظیمات دروازه</translation>
    </message>
    <message>
        <source>Point another device&apos;s default gateway at %1 and its traffic is proxied by rule. Set that device&apos;s DNS manually too, or its IPv6 will bypass the proxy.</source>
        <translation>دروازهٔ پیش‌فرض دستگاه دیگری را روی %1 بگذارید تا ترافیک آن بر اساس قانون پروکسی شود. DNS آن دستگاه را هم دستی تنظیم کنید، وگرنه IPv6 آن پروکسی را دور می‌زند.</translation>
    </message>
    <message>
        <source>Reconnect Enhanced Mode to apply</source>
        <translation>برای اعمال، حالت پیشرفته را دوباره وصل کنید</translation>
    </message>
    <message>
        <source>Gateway mode takes effect the next time Enhanced Mode starts.</source>
        <translation>حالت دروازه از دفعهٔ بعدی که حالت پیشرفته آغاز شود اعمال می‌شود.</translation>
    </message>
    <message>
        <source>On the device you want to proxy, set:

    Router / Gateway:  %1
    DNS:  %2  (manual, not automatic)

The DNS entry is not optional. A manual gateway only redirects IPv4; the device still learns its IPv6 router from the network, so with automatic DNS its IPv6 traffic goes straight out and never reaches %3.</source>
        <translation>روی دستگاهی که می‌خواهید پروکسی شود این‌ها را تنظیم کنید:

    مسیریاب / دروازه:  %1
    DNS:  %2  (دستی، نه خودکار)

مورد DNS اختیاری نیست. دروازهٔ دستی فقط IPv4 را هدایت می‌کند؛ دستگاه همچنان مسیریاب IPv6 خود را از شبکه می‌آموزد، پس با DNS خودکار ترافیک IPv6 آن مستقیم بیرون می‌رود و هرگز به %3 نمی‌رسد.</translation>
    </message>
    <message>
        <source>%1&apos;s LAN IP</source>
        <translation>‏IP شبکهٔ محلی %1</translation>
    </message>
    <message>
        <source>No Device</source>
        <translation>دستگاهی نیست</translation>
    </message>
</context>
<context>
    <name>FRWElidedLabel</name>
    <message>
        <source>Copy</source>
        <translation>کپی</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>انتخاب همه</translation>
    </message>
</context>
<context>
    <name>FRWEnhancedMode</name>
    <message>
        <source>Helper install did not complete.</source>
        <translation>نصب دستیار کامل نشد.</translation>
    </message>
    <message>
        <source>Bundled helper is missing from the app.</source>
        <translation>دستیار همراه برنامه پیدا نشد.</translation>
    </message>
    <message>
        <source>Helper removal did not complete.</source>
        <translation>حذف دستیار کامل نشد.</translation>
    </message>
</context>
<context>
    <name>FRWExternalResourcesController</name>
    <message>
        <source>External Resources</source>
        <translation>منابع خارجی</translation>
    </message>
    <message>
        <source>External Resource</source>
        <translation>منبع خارجی</translation>
    </message>
    <message>
        <source>Rule-sets downloaded from URLs</source>
        <translation>مجموعه‌قانون‌هایی که از URL بارگیری شده‌اند</translation>
    </message>
    <message>
        <source>External resources</source>
        <translation>منابع خارجی</translation>
    </message>
    <message>
        <source>This profile has no external resources.</source>
        <translation>این پروفایل منبع خارجی ندارد.</translation>
    </message>
    <message>
        <source>Only show not ready items</source>
        <translation>فقط موارد آماده‌نشده</translation>
    </message>
    <message>
        <source>Update All</source>
        <translation>به‌روزرسانی همه</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>تمام</translation>
    </message>
    <message>
        <source>Not ready</source>
        <translation>آماده نیست</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>آماده</translation>
    </message>
    <message>
        <source>Stale</source>
        <translation>کهنه</translation>
    </message>
    <message>
        <source>Updating…</source>
        <translation>در حال به‌روزرسانی…</translation>
    </message>
    <message>
        <source>Never</source>
        <translation>هرگز</translation>
    </message>
    <message>
        <source>Just now</source>
        <translation>همین حالا</translation>
    </message>
    <message numerus="yes">
        <source>%n minutes ago</source>
        <translation>
            <numerusform>‏%n دقیقه پیش</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n hours ago</source>
        <translation>
            <numerusform>‏%n ساعت پیش</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n days ago</source>
        <translation>
            <numerusform>‏%n روز پیش</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FRWGroupTile</name>
    <message>
        <source>Delete Group</source>
        <translation>حذف گروه</translation>
    </message>
</context>
<context>
    <name>FRWHelperClient</name>
    <message>
        <source>Couldn&apos;t communicate with the helper (%1).</source>
        <translation>ارتباط با دستیار ممکن نشد (%1).</translation>
    </message>
    <message>
        <source>the helper closed the connection</source>
        <translation>دستیار اتصال را بست</translation>
    </message>
    <message>
        <source>no version</source>
        <translation>بدون نسخه</translation>
    </message>
    <message>
        <source>connection closed</source>
        <translation>اتصال بسته شد</translation>
    </message>
    <message>
        <source>reply too long</source>
        <translation>پاسخ بیش از حد طولانی است</translation>
    </message>
    <message>
        <source>reply to no request</source>
        <translation>پاسخ به درخواستی که وجود ندارد</translation>
    </message>
</context>
<context>
    <name>FRWLiveReload</name>
    <message>
        <source>Profile reload failed — still using the previous working version</source>
        <translation>بارگذاری دوبارهٔ پروفایل ناموفق بود — نسخهٔ سالم قبلی همچنان به کار می‌رود</translation>
    </message>
    <message>
        <source>The edited profile could not be applied, so Ferrow kept the last working configuration and your connection was not interrupted. Fix the profile and save again.

%1</source>
        <translation>پروفایل ویرایش‌شده اعمال نشد، پس Ferrow آخرین پیکربندی سالم را نگه داشت و اتصال شما قطع نشد. پروفایل را درست کنید و دوباره ذخیره کنید.

%1</translation>
    </message>
</context>
<context>
    <name>FRWLogFindBar</name>
    <message>
        <source>Find in log</source>
        <translation>جست‌وجو در گزارش</translation>
    </message>
    <message>
        <source>All</source>
        <translation>همه</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>اطلاعات</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>هشدار</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>خطا</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>بستن</translation>
    </message>
    <message>
        <source>Not found</source>
        <translation>پیدا نشد</translation>
    </message>
</context>
<context>
    <name>FRWLoginItem</name>
    <message>
        <source>Cannot create %1</source>
        <translation>ساختن %1 ممکن نیست</translation>
    </message>
</context>
<context>
    <name>FRWLogsViewController</name>
    <message>
        <source>Logs</source>
        <translation>گزارش‌ها</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>گزارش</translation>
    </message>
    <message>
        <source>No logs yet.
Connect to see live core activity.</source>
        <translation>هنوز گزارشی نیست.
وصل شوید تا فعالیت زندهٔ هسته را ببینید.</translation>
    </message>
    <message>
        <source>Copy Lines</source>
        <translation>کپی سطرها</translation>
    </message>
    <message>
        <source>Find…</source>
        <translation>یافتن…</translation>
    </message>
</context>
<context>
    <name>FRWMainWindowController</name>
    <message>
        <source>View</source>
        <translation>نما</translation>
    </message>
</context>
<context>
    <name>FRWNodeEditorSheet</name>
    <message>
        <source>Edit Node</source>
        <translation>ویرایش گره</translation>
    </message>
    <message>
        <source>Add Node</source>
        <translation>افزودن گره</translation>
    </message>
    <message>
        <source>A Ferrow server you can route traffic through. Groups on this screen reference nodes by name.</source>
        <translation>یک سرور Ferrow که می‌توانید ترافیک را از آن عبور دهید. گروه‌های این صفحه با نام به گره‌ها ارجاع می‌دهند.</translation>
    </message>
    <message>
        <source>Paste ferrow:// Link</source>
        <translation>چسباندن پیوند ferrow://</translation>
    </message>
    <message>
        <source>Fill these in from a ferrow:// link on the clipboard</source>
        <translation>پر کردن این‌ها از پیوند ferrow:// در کلیپ‌بورد</translation>
    </message>
    <message>
        <source>host or IP</source>
        <translation>میزبان یا IP</translation>
    </message>
    <message>
        <source>shared key from the server installer</source>
        <translation>کلید مشترکِ نصب‌کنندهٔ سرور</translation>
    </message>
    <message>
        <source>Show the key</source>
        <translation>نمایش کلید</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>نام</translation>
    </message>
    <message>
        <source>Server</source>
        <translation>سرور</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>درگاه</translation>
    </message>
    <message>
        <source>TCP Fast Open</source>
        <translation>TCP Fast Open</translation>
    </message>
    <message>
        <source>Key</source>
        <translation>کلید</translation>
    </message>
    <message>
        <source>Reached through: </source>
        <translation>از راه: </translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>لغو</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>ذخیره</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>افزودن</translation>
    </message>
    <message>
        <source>Read %1:%2 · TFO %3</source>
        <translation>‏%1:%2 خوانده شد · TFO %3</translation>
    </message>
    <message>
        <source>Read %1:%2</source>
        <translation>‏%1:%2 خوانده شد</translation>
    </message>
    <message>
        <source>Hide the key</source>
        <translation>پنهان کردن کلید</translation>
    </message>
</context>
<context>
    <name>FRWNodeShareSheet</name>
    <message>
        <source>Share “%1”</source>
        <translation>هم‌رسانی «%1»</translation>
    </message>
    <message>
        <source>QR code of the node&apos;s link</source>
        <translation>کد QR پیوند گره</translation>
    </message>
    <message>
        <source>The link holds the node&apos;s key: anyone who has it can use your server. Share it only with your own devices, and never in a public place.</source>
        <translation>این پیوند کلید گره را در خود دارد: هر کسی که آن را داشته باشد می‌تواند از سرور شما استفاده کند. آن را فقط با دستگاه‌های خودتان هم‌رسانی کنید و هرگز در جای عمومی نگذارید.</translation>
    </message>
    <message>
        <source>Copy Link</source>
        <translation>کپی پیوند</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>تمام</translation>
    </message>
    <message>
        <source>This node has no key or no valid server and port, so it has no link to share. Edit the node first.</source>
        <translation>این گره کلید یا سرور و درگاه معتبری ندارد، پس پیوندی برای هم‌رسانی ندارد. اول گره را ویرایش کنید.</translation>
    </message>
    <message>
        <source>Scan the code with the device that should use this node, or copy the link and send it over a channel you trust.</source>
        <translation>کد را با دستگاهی که باید از این گره استفاده کند اسکن کنید، یا پیوند را کپی کنید و از راهی که به آن اعتماد دارید بفرستید.</translation>
    </message>
    <message>
        <source>Copied</source>
        <translation>کپی شد</translation>
    </message>
</context>
<context>
    <name>FRWNodeTile</name>
    <message>
        <source>Tap to Test</source>
        <translation>برای آزمون بزنید</translation>
    </message>
    <message>
        <source>Edit Node…</source>
        <translation>ویرایش گره…</translation>
    </message>
    <message>
        <source>Delete Node</source>
        <translation>حذف گره</translation>
    </message>
    <message>
        <source>Share…</source>
        <translation>هم‌رسانی…</translation>
    </message>
</context>
<context>
    <name>FRWOverviewViewController</name>
    <message>
        <source>Overview</source>
        <translation>نمای کلی</translation>
    </message>
    <message>
        <source>System Proxy</source>
        <translation>پروکسی سیستم</translation>
    </message>
    <message>
        <source>Most apps&apos; traffic is captured through the system HTTP/SOCKS proxy. Best compatibility and performance.</source>
        <translation>ترافیک بیشتر برنامه‌ها از راه پروکسی HTTP/SOCKS سیستم گرفته می‌شود. بهترین سازگاری و کارایی.</translation>
    </message>
    <message>
        <source>Enhanced Mode</source>
        <translation>حالت پیشرفته</translation>
    </message>
    <message>
        <source>Some apps ignore the system proxy. Enhanced Mode forces all their traffic through the tunnel.</source>
        <translation>برخی برنامه‌ها پروکسی سیستم را نادیده می‌گیرند. حالت پیشرفته همهٔ ترافیک آن‌ها را به تونل می‌فرستد.</translation>
    </message>
    <message>
        <source>HTTP &amp; SOCKS5 Proxy</source>
        <translation>پروکسی HTTP و SOCKS5</translation>
    </message>
    <message>
        <source>Act as a standard HTTP and SOCKS5 proxy for other devices on the same local network.</source>
        <translation>برای دستگاه‌های دیگر در همان شبکهٔ محلی مانند یک پروکسی استاندارد HTTP و SOCKS5 عمل می‌کند.</translation>
    </message>
    <message>
        <source>Gateway Mode</source>
        <translation>حالت دروازه</translation>
    </message>
    <message>
        <source>LAN devices that point their default gateway at %1 are proxied by rule. Also set their DNS manually, or IPv6 bypasses the proxy.</source>
        <translation>دستگاه‌های شبکهٔ محلی که دروازهٔ پیش‌فرضشان را روی %1 بگذارند بر اساس قانون پروکسی می‌شوند. DNS آن‌ها را هم دستی تنظیم کنید، وگرنه IPv6 پروکسی را دور می‌زند.</translation>
    </message>
    <message>
        <source>A private network between your devices running Ferrow, so you can reach %1&apos;s proxy from anywhere. Coming soon.</source>
        <translation>شبکه‌ای خصوصی میان دستگاه‌های شما که Ferrow را اجرا می‌کنند، تا از هر جا به پروکسی %1 برسید. به‌زودی.</translation>
    </message>
    <message>
        <source>Network Takeover</source>
        <translation>در دست گرفتن شبکه</translation>
    </message>
    <message>
        <source>LAN Device Takeover</source>
        <translation>در دست گرفتن دستگاه‌های شبکهٔ محلی</translation>
    </message>
    <message>
        <source>Remote Connectivity</source>
        <translation>اتصال از راه دور</translation>
    </message>
    <message>
        <source>Running · 127.0.0.1:7891</source>
        <translation>در حال اجرا · 127.0.0.1:7891</translation>
    </message>
    <message>
        <source>Not set</source>
        <translation>تنظیم نشده</translation>
    </message>
    <message>
        <source>Enabled</source>
        <translation>فعال</translation>
    </message>
    <message>
        <source>Disabled</source>
        <translation>غیرفعال</translation>
    </message>
    <message>
        <source>Sharing on %1</source>
        <translation>اشتراک روی %1</translation>
    </message>
    <message>
        <source>Running on %1</source>
        <translation>در حال اجرا روی %1</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>خاموش</translation>
    </message>
    <message>
        <source>Needs the tunnel running</source>
        <translation>نیاز به اجرای تونل دارد</translation>
    </message>
    <message>
        <source>Transparent gateway on</source>
        <translation>دروازهٔ شفاف روشن است</translation>
    </message>
    <message>
        <source>Not configured</source>
        <translation>پیکربندی نشده</translation>
    </message>
    <message>
        <source>Not available yet</source>
        <translation>هنوز در دسترس نیست</translation>
    </message>
    <message>
        <source>Other devices can use %1 as a proxy</source>
        <translation>دستگاه‌های دیگر می‌توانند از %1 به‌عنوان پروکسی استفاده کنند</translation>
    </message>
    <message>
        <source>Point them at  %1:7891  (HTTP or SOCKS5).

Anyone who can reach that port can use your nodes, so leave it off on networks you do not control.</source>
        <translation>آن‌ها را به  %1:7891  (HTTP یا SOCKS5) هدایت کنید.

هر کسی که به آن درگاه برسد می‌تواند از گره‌های شما استفاده کند، پس در شبکه‌هایی که در اختیار شما نیستند آن را خاموش بگذارید.</translation>
    </message>
    <message>
        <source>%1&apos;s IP</source>
        <translation>IP %1</translation>
    </message>
    <message>
        <source>On the other device, set its default gateway to  %1  and its DNS to a public resolver such as </source>
        <translation>روی دستگاه دیگر، دروازهٔ پیش‌فرض آن را  %1  و DNS آن را یک حل‌کنندهٔ عمومی بگذارید، مانند </translation>
    </message>
    <message>
        <source>%1&apos;s LAN IP</source>
        <translation>‏IP شبکهٔ محلی %1</translation>
    </message>
    <message>
        <source> — not &quot;automatic&quot;.

Without the DNS change the device keeps using the network&apos;s own IPv6 router, and its IPv6 traffic bypasses the proxy entirely.</source>
        <translation> — نه «خودکار».

بدون تغییر DNS، دستگاه همچنان از مسیریاب IPv6 خود شبکه استفاده می‌کند و ترافیک IPv6 آن کاملاً پروکسی را دور می‌زند.</translation>
    </message>
    <message>
        <source>

Reconnect Enhanced Mode to apply.</source>
        <translation>

برای اعمال، حالت پیشرفته را دوباره وصل کنید.</translation>
    </message>
    <message>
        <source>

Enhanced Mode is off — gateway mode does nothing until it is on.</source>
        <translation>

حالت پیشرفته خاموش است — تا روشن نشود حالت دروازه کاری نمی‌کند.</translation>
    </message>
    <message>
        <source>Route another device through %1</source>
        <translation>عبور دادن دستگاهی دیگر از %1</translation>
    </message>
    <message>
        <source>Ferrow Varnel isn’t available yet</source>
        <translation>‏Ferrow Varnel هنوز در دسترس نیست</translation>
    </message>
    <message>
        <source>A private network between your own devices — so you can reach %1’s proxy from anywhere — is still being built. This switch will start working once it ships.</source>
        <translation>شبکه‌ای خصوصی میان دستگاه‌های خودتان — تا از هر جا به پروکسی %1 برسید — هنوز در دست ساخت است. این کلید پس از انتشار آن کار خواهد کرد.</translation>
    </message>
</context>
<context>
    <name>FRWPlaceholderViewController</name>
    <message>
        <source>Not available in Ferrow.</source>
        <translation>در Ferrow در دسترس نیست.</translation>
    </message>
</context>
<context>
    <name>FRWPlatformTerms</name>
    <message>
        <source>the system</source>
        <translation>سیستم</translation>
    </message>
    <message>
        <source>The system</source>
        <translation>سیستم</translation>
    </message>
    <message>
        <source>this computer</source>
        <translation>این رایانه</translation>
    </message>
    <message>
        <source>computer</source>
        <translation>رایانه</translation>
    </message>
    <message>
        <source>File Manager</source>
        <translation>مدیر پرونده</translation>
    </message>
    <message>
        <source>system service</source>
        <translation>سرویس سیستمی</translation>
    </message>
    <message>
        <source>release</source>
        <translation>انتشار</translation>
    </message>
</context>
<context>
    <name>FRWPlusTile</name>
    <message>
        <source>Add</source>
        <translation>افزودن</translation>
    </message>
</context>
<context>
    <name>FRWPolicyViewController</name>
    <message>
        <source>Every request goes out directly, without going through a node.</source>
        <translation>هر درخواست مستقیم بیرون می‌رود، بدون گذر از هیچ گره‌ای.</translation>
    </message>
    <message>
        <source>Every request is sent through one node.</source>
        <translation>هر درخواست از راه یک گره فرستاده می‌شود.</translation>
    </message>
    <message>
        <source>Using the rule system to decide how each request is handled.</source>
        <translation>با سامانهٔ قانون‌ها تصمیم گرفته می‌شود که با هر درخواست چه شود.</translation>
    </message>
    <message>
        <source>Manual Selection Group — you choose the member</source>
        <translation>گروه انتخاب دستی — عضو را شما برمی‌گزینید</translation>
    </message>
    <message>
        <source>Automatic Testing Group — lowest latency wins</source>
        <translation>گروه آزمون خودکار — کمترین تأخیر برنده است</translation>
    </message>
    <message>
        <source>Fallback Group — first member that is alive</source>
        <translation>گروه جایگزین — نخستین عضو زنده</translation>
    </message>
    <message>
        <source>Load Balance Group — spread across members</source>
        <translation>گروه توزیع بار — پخش میان اعضا</translation>
    </message>
    <message>
        <source>Consistent hashing — one site always uses one member</source>
        <translation>درهم‌سازی سازگار — هر سایت همیشه یک عضو</translation>
    </message>
    <message>
        <source>Round robin — every connection may use a different member</source>
        <translation>نوبتی — هر اتصال ممکن است عضو دیگری بگیرد</translation>
    </message>
    <message>
        <source>Sticky sessions — this client stays on one member</source>
        <translation>نشست چسبنده — این کلاینت روی یک عضو می‌ماند</translation>
    </message>
    <message>
        <source>Automatic Testing Group</source>
        <translation>گروه آزمون خودکار</translation>
    </message>
    <message>
        <source>Fallback Group</source>
        <translation>گروه جایگزین</translation>
    </message>
    <message>
        <source>Load Balance Group</source>
        <translation>گروه توزیع بار</translation>
    </message>
    <message>
        <source>Manual Selection Group</source>
        <translation>گروه انتخاب دستی</translation>
    </message>
    <message>
        <source>Testing…</source>
        <translation>در حال آزمون…</translation>
    </message>
    <message>
        <source>%1 ms · old</source>
        <translation>‏‪%1 ms‬ · قدیمی</translation>
    </message>
    <message>
        <source>Refused</source>
        <translation>رد شد</translation>
    </message>
    <message>
        <source>No route</source>
        <translation>بدون مسیر</translation>
    </message>
    <message>
        <source>Name not found</source>
        <translation>نام پیدا نشد</translation>
    </message>
    <message>
        <source>Rejected</source>
        <translation>پس زده شد</translation>
    </message>
    <message>
        <source>Timeout</source>
        <translation>پایان مهلت</translation>
    </message>
    <message>
        <source>Tap to Test</source>
        <translation>برای آزمون بزنید</translation>
    </message>
    <message>
        <source>Policy</source>
        <translation>سیاست</translation>
    </message>
    <message>
        <source>Direct Outbound</source>
        <translation>خروجی مستقیم</translation>
    </message>
    <message>
        <source>Global Proxy</source>
        <translation>پروکسی سراسری</translation>
    </message>
    <message>
        <source>Rule-based Proxy</source>
        <translation>پروکسی بر اساس قانون</translation>
    </message>
    <message>
        <source>Outbound Mode</source>
        <translation>حالت خروجی</translation>
    </message>
    <message>
        <source>Test All</source>
        <translation>آزمون همه</translation>
    </message>
    <message>
        <source>Add Node</source>
        <translation>افزودن گره</translation>
    </message>
    <message>
        <source>POLICY GROUP</source>
        <translation>گروه سیاست</translation>
    </message>
    <message>
        <source>Add Policy Group</source>
        <translation>افزودن گروه سیاست</translation>
    </message>
    <message>
        <source> (missing)</source>
        <translation> (گم‌شده)</translation>
    </message>
    <message>
        <source>A group chooses between policies you already have; it does not create new ones.</source>
        <translation>گروه میان سیاست‌هایی که از قبل دارید انتخاب می‌کند؛ سیاست تازه‌ای نمی‌سازد.</translation>
    </message>
    <message>
        <source>Group name (e.g. Streaming)</source>
        <translation>نام گروه (مثلاً Streaming)</translation>
    </message>
    <message>
        <source>Group name</source>
        <translation>نام گروه</translation>
    </message>
    <message>
        <source>Group type</source>
        <translation>نوع گروه</translation>
    </message>
    <message>
        <source>Balancing:</source>
        <translation>توزیع:</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>لغو</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>افزودن</translation>
    </message>
    <message>
        <source>Delete “%1”?</source>
        <translation>‏«%1» حذف شود؟</translation>
    </message>
    <message>
        <source>Rules that send traffic to this group will fall through to FINAL.</source>
        <translation>قانون‌هایی که ترافیک را به این گروه می‌فرستند به FINAL می‌رسند.</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>حذف</translation>
    </message>
    <message>
        <source>PROXY</source>
        <translation>پروکسی</translation>
    </message>
</context>
<context>
    <name>FRWPrivilegedScriptRunner</name>
    <message>
        <source>Authorization was cancelled.</source>
        <translation>مجوزدهی لغو شد.</translation>
    </message>
    <message>
        <source>This account is not allowed to make this change, or the password could not be checked.</source>
        <translation>این حساب اجازهٔ این تغییر را ندارد، یا گذرواژه بررسی نشد.</translation>
    </message>
    <message>
        <source>The change failed (exit status %1).</source>
        <translation>تغییر ناموفق بود (وضعیت خروج %1).</translation>
    </message>
</context>
<context>
    <name>FRWProbeText</name>
    <message>
        <source>never</source>
        <translation>هرگز</translation>
    </message>
    <message>
        <source>just now</source>
        <translation>همین حالا</translation>
    </message>
    <message numerus="yes">
        <source>%n minute ago</source>
        <translation>
            <numerusform>‏%n دقیقه پیش</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n minutes ago</source>
        <translation>
            <numerusform>‏%n دقیقه پیش</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n hour ago</source>
        <translation>
            <numerusform>‏%n ساعت پیش</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n hours ago</source>
        <translation>
            <numerusform>‏%n ساعت پیش</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FRWProcessViewController</name>
    <message>
        <source>Process</source>
        <translation>فرایند</translation>
    </message>
    <message>
        <source>No process traffic yet.</source>
        <translation>هنوز ترافیک فرایندی نیست.</translation>
    </message>
</context>
<context>
    <name>FRWProfileRow</name>
    <message>
        <source>In use</source>
        <translation>در حال استفاده</translation>
    </message>
</context>
<context>
    <name>FRWProfileStore</name>
    <message>
        <source>there is no Trash folder at %1.</source>
        <translation>در %1 پوشهٔ زباله‌دان وجود ندارد.</translation>
    </message>
    <message>
        <source>the last profile cannot be deleted.</source>
        <translation>آخرین پروفایل را نمی‌توان حذف کرد.</translation>
    </message>
    <message>
        <source>the Trash cannot take it (%1).</source>
        <translation>زباله‌دان آن را نمی‌پذیرد (%1).</translation>
    </message>
</context>
<context>
    <name>FRWProfileValidation</name>
    <message>
        <source>%1 cannot contain a line break or a NUL character.</source>
        <translation>‏%1 نمی‌تواند شکست سطر یا نویسهٔ NUL داشته باشد.</translation>
    </message>
    <message>
        <source>%1 contains a character that is not valid text.</source>
        <translation>‏%1 نویسه‌ای دارد که متن معتبر نیست.</translation>
    </message>
    <message>
        <source>%1 cannot contain a comma.</source>
        <translation>‏%1 نمی‌تواند ویرگول داشته باشد.</translation>
    </message>
    <message>
        <source>%1 cannot begin or end with a space.</source>
        <translation>‏%1 نمی‌تواند با فاصله آغاز شود یا پایان یابد.</translation>
    </message>
    <message>
        <source>Enter a name.</source>
        <translation>یک نام وارد کنید.</translation>
    </message>
    <message>
        <source>A name</source>
        <translation>نام</translation>
    </message>
    <message>
        <source>A name cannot contain “=”.</source>
        <translation>نام نمی‌تواند «=» داشته باشد.</translation>
    </message>
    <message>
        <source>A name cannot begin with “#”: the line would be a comment.</source>
        <translation>نام نمی‌تواند با «#» آغاز شود: آن سطر توضیح به شمار می‌آید.</translation>
    </message>
    <message>
        <source>A name cannot begin with “[”: the line could read as a section.</source>
        <translation>نام نمی‌تواند با «[» آغاز شود: آن سطر ممکن است بخش خوانده شود.</translation>
    </message>
    <message>
        <source>%1 is a built-in policy.</source>
        <translation>‏%1 یک سیاست داخلی است.</translation>
    </message>
    <message>
        <source>A node named %1 already exists.</source>
        <translation>گره‌ای با نام %1 از قبل وجود دارد.</translation>
    </message>
    <message>
        <source>A policy group named %1 already exists.</source>
        <translation>گروه سیاستی با نام %1 از قبل وجود دارد.</translation>
    </message>
    <message>
        <source>Enter a server.</source>
        <translation>یک سرور وارد کنید.</translation>
    </message>
    <message>
        <source>A server</source>
        <translation>سرور</translation>
    </message>
    <message>
        <source>The key</source>
        <translation>کلید</translation>
    </message>
    <message>
        <source>This key looks typed rather than generated: it could be guessed from one recorded connection. Use the key the server installer printed.</source>
        <translation>این کلید به نظر تایپ‌شده می‌آید نه تولیدشده: از روی یک اتصال ضبط‌شده می‌شود حدسش زد. کلیدی را به کار ببرید که نصب‌کنندهٔ سرور چاپ کرده است.</translation>
    </message>
    <message>
        <source>Enter a value.</source>
        <translation>یک مقدار وارد کنید.</translation>
    </message>
    <message>
        <source>A rule&apos;s value</source>
        <translation>مقدار قانون</translation>
    </message>
    <message>
        <source>Enter a domain name.</source>
        <translation>یک نام دامنه وارد کنید.</translation>
    </message>
    <message>
        <source>This is not a regular expression the core can use.</source>
        <translation>این عبارت باقاعده‌ای نیست که هسته بتواند به کار ببرد.</translation>
    </message>
    <message>
        <source>Enter an address or an address range such as 10.0.0.0/8.</source>
        <translation>یک نشانی یا بازهٔ نشانی وارد کنید، مانند 10.0.0.0/8.</translation>
    </message>
    <message>
        <source>Enter a port or a range such as 8000-8100.</source>
        <translation>یک درگاه یا بازه وارد کنید، مانند 8000-8100.</translation>
    </message>
    <message>
        <source>Enter tcp or udp.</source>
        <translation>‏tcp یا udp وارد کنید.</translation>
    </message>
</context>
<context>
    <name>FRWProfileViewController</name>
    <message>
        <source>Profile</source>
        <translation>پروفایل</translation>
    </message>
    <message>
        <source>Profiles</source>
        <translation>پروفایل‌ها</translation>
    </message>
    <message>
        <source>New Profile</source>
        <translation>پروفایل تازه</translation>
    </message>
    <message>
        <source>Duplicate Profile</source>
        <translation>رونوشت پروفایل</translation>
    </message>
    <message>
        <source>Delete Profile</source>
        <translation>حذف پروفایل</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>نام</translation>
    </message>
    <message>
        <source>Profile Name</source>
        <translation>نام پروفایل</translation>
    </message>
    <message>
        <source>Set as Active</source>
        <translation>فعال کردن</translation>
    </message>
    <message>
        <source>Reload</source>
        <translation>بارگذاری دوباره</translation>
    </message>
    <message>
        <source>Keep Mine</source>
        <translation>نسخهٔ من بماند</translation>
    </message>
    <message>
        <source>Profile Text</source>
        <translation>متن پروفایل</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>ذخیره</translation>
    </message>
    <message>
        <source>Import…</source>
        <translation>درون‌ریزی…</translation>
    </message>
    <message>
        <source>Active</source>
        <translation>فعال</translation>
    </message>
    <message>
        <source>“%1” was changed elsewhere while you edited it. Reload it, or keep your version and save it over those changes.</source>
        <translation>‏«%1» هنگام ویرایش شما جای دیگری تغییر کرد. آن را دوباره بارگذاری کنید، یا نسخهٔ خود را نگه دارید و روی آن تغییرها ذخیره کنید.</translation>
    </message>
    <message>
        <source>Saved</source>
        <translation>ذخیره شد</translation>
    </message>
    <message>
        <source>“%1” was kept: %2</source>
        <translation>‏«%1» نگه داشته شد: %2</translation>
    </message>
    <message>
        <source>Moved “%1” to the Trash</source>
        <translation>‏«%1» به زباله‌دان رفت</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>درون‌ریزی</translation>
    </message>
    <message>
        <source>Profiles (*.conf *.ini *.txt)</source>
        <translation>پروفایل‌ها (*.conf *.ini *.txt)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>همهٔ پرونده‌ها (*)</translation>
    </message>
    <message>
        <source>“%1” is not a UTF-8 text file</source>
        <translation>‏«%1» پروندهٔ متنی UTF-8 نیست</translation>
    </message>
    <message>
        <source>PROFILES</source>
        <translation>پروفایل‌ها</translation>
    </message>
</context>
<context>
    <name>FRWRuleEditorSheet</name>
    <message>
        <source>Edit Rule</source>
        <translation>ویرایش قانون</translation>
    </message>
    <message>
        <source>Add Rule</source>
        <translation>افزودن قانون</translation>
    </message>
    <message>
        <source>Rules are matched top to bottom, and the first one that matches decides where the connection goes.</source>
        <translation>قانون‌ها از بالا به پایین سنجیده می‌شوند و نخستین قانونِ منطبق تعیین می‌کند اتصال به کجا برود.</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>نوع</translation>
    </message>
    <message>
        <source>Policy</source>
        <translation>سیاست</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>مقدار</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>لغو</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>ذخیره</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>افزودن</translation>
    </message>
    <message>
        <source>This rule will match</source>
        <translation>این قانون منطبق خواهد شد با</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>بازگشت</translation>
    </message>
</context>
<context>
    <name>FRWRuleText</name>
    <message>
        <source>Matches that one host exactly. mail.example.com does not match example.com.</source>
        <translation>فقط همان یک میزبان را دقیقاً منطبق می‌کند. mail.example.com با example.com منطبق نیست.</translation>
    </message>
    <message>
        <source>Matches the host and everything under it: example.com also matches www.example.com.</source>
        <translation>میزبان و هر چه زیر آن است را منطبق می‌کند: example.com با www.example.com هم منطبق است.</translation>
    </message>
    <message>
        <source>Matches any host containing this text anywhere in it.</source>
        <translation>هر میزبانی را که این متن در هر جای آن باشد منطبق می‌کند.</translation>
    </message>
    <message>
        <source>A host pattern in which * stands for any run of characters.</source>
        <translation>الگوی میزبان که در آن * جای هر رشته‌ای از نویسه‌ها می‌نشیند.</translation>
    </message>
    <message>
        <source>A regular expression matched against the host name.</source>
        <translation>عبارت باقاعده‌ای که با نام میزبان سنجیده می‌شود.</translation>
    </message>
    <message>
        <source>An IPv4 address range, matched against the destination address.</source>
        <translation>بازهٔ نشانی IPv4 که با نشانی مقصد سنجیده می‌شود.</translation>
    </message>
    <message>
        <source>An IPv6 address range, matched against the destination address.</source>
        <translation>بازهٔ نشانی IPv6 که با نشانی مقصد سنجیده می‌شود.</translation>
    </message>
    <message>
        <source>An address range matched against the SOURCE — the device the traffic came from.</source>
        <translation>بازهٔ نشانی که با مبدأ سنجیده می‌شود — دستگاهی که ترافیک از آن آمده است.</translation>
    </message>
    <message>
        <source>A two-letter country code, matched against the country of the destination IP.</source>
        <translation>کد دوحرفی کشور که با کشور IP مقصد سنجیده می‌شود.</translation>
    </message>
    <message>
        <source>443   or   8000-8100</source>
        <translation>443   یا   8000-8100</translation>
    </message>
    <message>
        <source>The port being connected to: one port, or a range such as 8000-8100.</source>
        <translation>درگاهی که به آن وصل می‌شوند: یک درگاه، یا بازه‌ای مانند 8000-8100.</translation>
    </message>
    <message>
        <source>The port the connection came from: one port, or a range.</source>
        <translation>درگاهی که اتصال از آن آمده است: یک درگاه، یا یک بازه.</translation>
    </message>
    <message>
        <source>tcp or udp.</source>
        <translation>‏tcp یا udp.</translation>
    </message>
    <message>
        <source>The name of the program making the connection, as shown on the Process screen.</source>
        <translation>نام برنامه‌ای که اتصال را برقرار می‌کند، همان‌طور که در صفحهٔ «فرایند» نشان داده می‌شود.</translation>
    </message>
    <message>
        <source>The full path to the program making the connection.</source>
        <translation>مسیر کامل برنامه‌ای که اتصال را برقرار می‌کند.</translation>
    </message>
    <message>
        <source>The name of a bundled rule set, or the URL of one to download.</source>
        <translation>نام یک مجموعه‌قانون همراه برنامه، یا URL مجموعه‌ای برای بارگیری.</translation>
    </message>
    <message>
        <source>no value needed</source>
        <translation>مقداری لازم نیست</translation>
    </message>
    <message>
        <source>Matches everything no rule above it matched, so it belongs last and takes no value.</source>
        <translation>هر چیزی را که هیچ قانونِ بالاتری منطبق نکرده منطبق می‌کند، پس جایش در آخر است و مقداری نمی‌گیرد.</translation>
    </message>
    <message>
        <source>connect directly, without going through a node</source>
        <translation>مستقیم وصل می‌شوند، بدون گذر از هیچ گره‌ای</translation>
    </message>
    <message>
        <source>be blocked</source>
        <translation>مسدود می‌شوند</translation>
    </message>
    <message>
        <source>be sent through &quot;%1&quot;</source>
        <translation>از راه «%1» فرستاده می‌شوند</translation>
    </message>
    <message>
        <source>Connections to exactly %1 will %2.

Only that one host matches. Anything under it — a sub-domain such as www.%1 — does not, and needs its own rule.</source>
        <translation>اتصال‌ها به دقیقاً %1 %2.

فقط همان یک میزبان منطبق است. هر چه زیر آن باشد — زیردامنه‌ای مانند www.%1 — منطبق نیست و قانون جداگانه می‌خواهد.</translation>
    </message>
    <message>
        <source>Connections to %1, and to every host under it, will %2.

That includes ones you have not listed: www.%1, api.%1, and any other sub-domain added in future.</source>
        <translation>اتصال‌ها به %1 و به هر میزبان زیر آن %2.

این شامل آن‌هایی هم می‌شود که فهرست نکرده‌اید: www.%1، api.%1 و هر زیردامنه‌ای که در آینده افزوده شود.</translation>
    </message>
    <message>
        <source>Connections to any host whose name contains &quot;%1&quot; anywhere in it will %2.

This is the widest of the domain rules and the easiest to underestimate: it matches on the text alone, so a host like %1-cdn.example.net, belonging to somebody else entirely, matches too.</source>
        <translation>اتصال‌ها به هر میزبانی که نامش در هر جا «%1» را داشته باشد %2.

این گسترده‌ترین قانون دامنه است و آسان‌تر از همه دست‌کم گرفته می‌شود: فقط با متن منطبق می‌شود، پس میزبانی مانند %1-cdn.example.net که کاملاً از آنِ دیگری است هم منطبق می‌شود.</translation>
    </message>
    <message>
        <source>Connections to any host matching the pattern %1 will %2.

* stands for any run of characters, so the pattern can reach further than the example it was written from.</source>
        <translation>اتصال‌ها به هر میزبانِ منطبق با الگوی %1 %2.

* جای هر رشته‌ای از نویسه‌ها می‌نشیند، پس الگو ممکن است از نمونه‌ای که از رویش نوشته شده فراتر برود.</translation>
    </message>
    <message>
        <source>Connections to any host matching the expression %1 will %2.

An expression that matches more than intended is easy to write and hard to spot afterwards — an unanchored pattern matches anywhere in the name.</source>
        <translation>اتصال‌ها به هر میزبانِ منطبق با عبارت %1 %2.

عبارتی که بیش از آنچه می‌خواهید منطبق شود آسان نوشته می‌شود و دیر پیدا می‌شود — الگوی بی‌لنگر در هر جای نام منطبق می‌شود.</translation>
    </message>
    <message>
        <source>Connections to any address in the range %1 will %2.

This is matched on the destination address, so it applies no matter what host name was used to reach it.</source>
        <translation>اتصال‌ها به هر نشانی در بازهٔ %1 %2.

این با نشانی مقصد سنجیده می‌شود، پس مهم نیست با چه نام میزبانی به آن رسیده‌اند.</translation>
    </message>
    <message>
        <source>Connections coming FROM any address in %1 will %2.

This matches the source, not the destination — it is for routing other devices on your network, and does not affect this computer&apos;s own traffic.</source>
        <translation>اتصال‌هایی که از هر نشانی در %1 می‌آیند %2.

این مبدأ را می‌سنجد نه مقصد را — برای هدایت دستگاه‌های دیگر شبکهٔ شماست و بر ترافیک خود این رایانه اثری ندارد.</translation>
    </message>
    <message>
        <source>Connections to port %1 — on any host at all — will %2.

This matches the port alone, so it applies to every destination. A rule on 443 covers essentially all HTTPS traffic.</source>
        <translation>اتصال‌ها به درگاه %1 — روی هر میزبانی — %2.

این فقط درگاه را می‌سنجد، پس بر همهٔ مقصدها اعمال می‌شود. قانونی روی 443 تقریباً همهٔ ترافیک HTTPS را در بر می‌گیرد.</translation>
    </message>
    <message>
        <source>Connections coming from port %1 will %2.

Source ports are normally picked at random by the system, so this is really only useful for a service that binds a fixed one.</source>
        <translation>اتصال‌هایی که از درگاه %1 می‌آیند %2.

درگاه‌های مبدأ معمولاً را سیستم تصادفی برمی‌گزیند، پس این فقط برای سرویسی به کار می‌آید که به درگاهی ثابت بسته شده باشد.</translation>
    </message>
    <message>
        <source>Every %1 connection will %2, whatever its destination.</source>
        <translation>هر اتصال %1، مقصدش هر چه باشد، %2.</translation>
    </message>
    <message>
        <source>Connections made by %1 will %2.

Matched on the program&apos;s name alone, so any program called %1 matches, wherever on disk it is.</source>
        <translation>اتصال‌هایی که %1 برقرار می‌کند %2.

فقط با نام برنامه سنجیده می‌شود، پس هر برنامه‌ای به نام %1، هر جای دیسک که باشد، منطبق می‌شود.</translation>
    </message>
    <message>
        <source>Connections made by the program at %1 will %2.

Matched on the whole path, so another copy of the same app elsewhere will not match.</source>
        <translation>اتصال‌هایی که برنامهٔ واقع در %1 برقرار می‌کند %2.

با کل مسیر سنجیده می‌شود، پس نسخهٔ دیگری از همان برنامه در جای دیگر منطبق نمی‌شود.</translation>
    </message>
    <message>
        <source>Connections whose destination address is in %1 will %2.

The country comes from a lookup of the IP address, so it follows where the server is, not where the site is from.</source>
        <translation>اتصال‌هایی که نشانی مقصدشان در %1 است %2.

کشور از جست‌وجوی نشانی IP به دست می‌آید، پس به جای سرور بستگی دارد نه به خاستگاه سایت.</translation>
    </message>
    <message>
        <source>Everything in the rule set &quot;%1&quot; will %2.

What that covers is decided by the set&apos;s contents, which can be thousands of entries and can change when the set is updated.</source>
        <translation>هر چه در مجموعه‌قانون «%1» است %2.

اینکه چه چیزی را در بر می‌گیرد به محتوای مجموعه بستگی دارد که ممکن است هزاران مورد باشد و با به‌روزرسانی مجموعه تغییر کند.</translation>
    </message>
    <message>
        <source>Anything that no rule above it matched will %1.

This is the catch-all, so it only makes sense as the last rule in the list.</source>
        <translation>هر چه هیچ قانونِ بالاتری منطبق نکرده باشد %1.

این قانونِ همه‌گیر است، پس فقط در جایگاه آخرین قانون فهرست معنا دارد.</translation>
    </message>
    <message>
        <source>%1 %2 will %3.</source>
        <translation>%1 %2 %3.</translation>
    </message>
    <message>
        <source>

Rules are matched top to bottom, and the first match wins — so a broader rule above this one will decide first.</source>
        <translation>

قانون‌ها از بالا به پایین سنجیده می‌شوند و نخستین تطابق برنده است — پس قانونی گسترده‌تر بالای این یکی زودتر تصمیم می‌گیرد.</translation>
    </message>
</context>
<context>
    <name>FRWRuleViewController</name>
    <message>
        <source>Rule</source>
        <translation>قانون</translation>
    </message>
    <message>
        <source>Rules are evaluated in priority order, top to bottom.</source>
        <translation>قانون‌ها به ترتیب اولویت، از بالا به پایین، ارزیابی می‌شوند.</translation>
    </message>
    <message>
        <source>+ Add Rule</source>
        <translation>+ افزودن قانون</translation>
    </message>
    <message>
        <source>Rules</source>
        <translation>قانون‌ها</translation>
    </message>
    <message>
        <source>Edit Rule…</source>
        <translation>ویرایش قانون…</translation>
    </message>
    <message>
        <source>Delete Rule</source>
        <translation>حذف قانون</translation>
    </message>
</context>
<context>
    <name>FRWRulesModel</name>
    <message>
        <source>Type</source>
        <translation>نوع</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>مقدار</translation>
    </message>
    <message>
        <source>Policy</source>
        <translation>سیاست</translation>
    </message>
    <message>
        <source>none</source>
        <translation>هیچ</translation>
    </message>
</context>
<context>
    <name>FRWScreenText</name>
    <message>
        <source>Direct</source>
        <translation>مستقیم</translation>
    </message>
    <message>
        <source>Global: %1</source>
        <translation>سراسری: %1</translation>
    </message>
    <message>
        <source>Rule-Based Proxy</source>
        <translation>پروکسی بر اساس قانون</translation>
    </message>
    <message>
        <source>just now</source>
        <translation>همین حالا</translation>
    </message>
    <message>
        <source>%1s ago</source>
        <translation>‏%1 ثانیه پیش</translation>
    </message>
    <message>
        <source>%1m ago</source>
        <translation>‏%1 دقیقه پیش</translation>
    </message>
    <message>
        <source>The ferrow:// link on the clipboard is malformed</source>
        <translation>پیوند ferrow:// در کلیپ‌بورد نادرست است</translation>
    </message>
    <message>
        <source>No ferrow:// link on the clipboard</source>
        <translation>پیوند ferrow:// در کلیپ‌بورد نیست</translation>
    </message>
</context>
<context>
    <name>FRWSettingsViewController</name>
    <message>
        <source>Settings</source>
        <translation>تنظیمات</translation>
    </message>
    <message>
        <source>Ferrow %1</source>
        <translation>Ferrow %1</translation>
    </message>
    <message>
        <source>Enhanced Mode Helper</source>
        <translation>دستیار حالت پیشرفته</translation>
    </message>
    <message>
        <source>Enhanced Mode routes all traffic through a system-wide tunnel. Creating the tunnel interface and its routes needs a small helper that runs as root, started by systemd when Ferrow asks for it. It is installed once; %1 asks you to approve it with your password.</source>
        <translation>حالت پیشرفته همهٔ ترافیک را از تونلی سراسری در سیستم عبور می‌دهد. ساختن رابط تونل و مسیرهای آن به دستیار کوچکی نیاز دارد که با دسترسی root اجرا می‌شود و هر بار Ferrow بخواهد systemd آن را آغاز می‌کند. یک بار نصب می‌شود؛ %1 از شما می‌خواهد با گذرواژه‌تان آن را تأیید کنید.</translation>
    </message>
    <message>
        <source>Installed</source>
        <translation>نصب شده</translation>
    </message>
    <message>
        <source>Install</source>
        <translation>نصب</translation>
    </message>
    <message>
        <source>Uninstall</source>
        <translation>حذف</translation>
    </message>
    <message>
        <source>Permissions</source>
        <translation>مجوزها</translation>
    </message>
    <message>
        <source>Ferrow asks for two, both optional — it works without either, just with less to show you.</source>
        <translation>‏Ferrow دو مجوز می‌خواهد که هر دو اختیاری‌اند — بدون آن‌ها هم کار می‌کند، فقط چیز کمتری نشانتان می‌دهد.</translation>
    </message>
    <message>
        <source>Location</source>
        <translation>موقعیت مکانی</translation>
    </message>
    <message>
        <source>The name of the Wi-Fi network you are on comes from NetworkManager and is shown on the Activity screen instead of the interface name. Reading it needs no permission, and no location data is involved: your location is never read, stored or sent anywhere.</source>
        <translation>نام شبکهٔ Wi-Fi که به آن وصل هستید از NetworkManager می‌آید و در صفحهٔ «فعالیت» به جای نام رابط نشان داده می‌شود. خواندن آن به هیچ مجوزی نیاز ندارد و هیچ دادهٔ مکانی در کار نیست: موقعیت شما هرگز خوانده، ذخیره یا به جایی فرستاده نمی‌شود.</translation>
    </message>
    <message>
        <source>Notifications</source>
        <translation>اعلان‌ها</translation>
    </message>
    <message>
        <source>Lets Ferrow tell you when something needs attention while its window is closed: a rule-set that has stopped updating, or a node that has stopped answering — and again when it recovers. Nothing else is ever sent as a notification.</source>
        <translation>به Ferrow اجازه می‌دهد وقتی پنجره‌اش بسته است، از چیزی که نیاز به توجه دارد خبرتان کند: مجموعه‌قانونی که دیگر به‌روز نمی‌شود، یا گره‌ای که دیگر پاسخ نمی‌دهد — و دوباره هنگامی که بهبود یابد. هیچ چیز دیگری هرگز به شکل اعلان فرستاده نمی‌شود.</translation>
    </message>
    <message>
        <source>Granted</source>
        <translation>داده شده</translation>
    </message>
    <message>
        <source>Allow</source>
        <translation>اجازه دادن</translation>
    </message>
    <message>
        <source>Privacy</source>
        <translation>حریم خصوصی</translation>
    </message>
    <message>
        <source>Network checks</source>
        <translation>بررسی‌های شبکه</translation>
    </message>
    <message>
        <source>Looks up your external address and its location from public echo and location services, and measures the latency to a public resolver, for the Activity screen. Off, Ferrow contacts none of them.</source>
        <translation>نشانی خارجی و موقعیت آن را از سرویس‌های عمومی بازتاب و موقعیت‌یابی می‌پرسد و تأخیر تا یک حل‌کنندهٔ عمومی را برای صفحهٔ «فعالیت» می‌سنجد. اگر خاموش باشد، Ferrow با هیچ‌کدام تماس نمی‌گیرد.</translation>
    </message>
    <message>
        <source>Check for updates</source>
        <translation>بررسی به‌روزرسانی</translation>
    </message>
    <message>
        <source>Reads the release feed at %1 a minute after launch.</source>
        <translation>یک دقیقه پس از اجرا، خوراک انتشار را از %1 می‌خواند.</translation>
    </message>
    <message>
        <source>General</source>
        <translation>عمومی</translation>
    </message>
    <message>
        <source>Launch Ferrow at login</source>
        <translation>اجرای Ferrow هنگام ورود</translation>
    </message>
    <message>
        <source>Installed by the system package</source>
        <translation>نصب‌شده با بستهٔ سیستم</translation>
    </message>
    <message>
        <source> (version %1)</source>
        <translation> (نسخهٔ %1)</translation>
    </message>
    <message>
        <source> · running</source>
        <translation> · در حال اجرا</translation>
    </message>
    <message>
        <source> · waiting for Ferrow</source>
        <translation> · در انتظار Ferrow</translation>
    </message>
    <message>
        <source> · not started (%1)</source>
        <translation> · آغاز نشده (%1)</translation>
    </message>
    <message>
        <source> · out of date, update the ferrow package</source>
        <translation> · قدیمی است، بستهٔ ferrow را به‌روز کنید</translation>
    </message>
    <message>
        <source> · out of date, reinstalled at the next connect</source>
        <translation> · قدیمی است، در اتصال بعدی دوباره نصب می‌شود</translation>
    </message>
    <message>
        <source>A helper that Ferrow installed from a build folder is also present and takes the package&apos;s place in systemd. Uninstall removes that copy, and the package&apos;s helper takes over; Ferrow never installs its own over the package&apos;s.</source>
        <translation>دستیاری که Ferrow از یک پوشهٔ ساخت نصب کرده نیز وجود دارد و در systemd جای دستیار بسته را گرفته است. «حذف» آن نسخه را برمی‌دارد و دستیار بسته جایش را می‌گیرد؛ Ferrow هرگز دستیار خود را روی دستیار بسته نصب نمی‌کند.</translation>
    </message>
    <message>
        <source>This copy of Ferrow is not the one the package installed. The package&apos;s helper only serves a Ferrow signed with the package&apos;s key, and Ferrow never installs its own over the package&apos;s: use the installed Ferrow for Enhanced Mode, or remove the package.</source>
        <translation>این نسخهٔ Ferrow همانی نیست که بسته نصب کرده است. دستیار بسته فقط به Ferrow امضاشده با کلید بسته خدمت می‌دهد و Ferrow هرگز دستیار خود را روی دستیار بسته نصب نمی‌کند: برای حالت پیشرفته از Ferrow نصب‌شده استفاده کنید، یا بسته را حذف کنید.</translation>
    </message>
    <message>
        <source>Helper requires a signed build</source>
        <translation>دستیار به نسخهٔ امضاشده نیاز دارد</translation>
    </message>
    <message>
        <source>The privileged helper is only installed when it carries the signature of this build of Ferrow, and the helper that came with it does not verify. Reinstall Ferrow from its package, or rebuild it so that the build signs its own helper again.</source>
        <translation>دستیار ممتاز فقط وقتی نصب می‌شود که امضای همین ساختِ Ferrow را داشته باشد، و دستیاری که همراه آن آمده تأیید نمی‌شود. Ferrow را از بسته‌اش دوباره نصب کنید، یا دوباره بسازید تا ساخت دوباره دستیار خود را امضا کند.</translation>
    </message>
    <message>
        <source>Helper installation needs approval</source>
        <translation>نصب دستیار نیاز به تأیید دارد</translation>
    </message>
    <message>
        <source>Helper could not be installed</source>
        <translation>دستیار نصب نشد</translation>
    </message>
    <message>
        <source>Remove the Enhanced Mode helper?</source>
        <translation>دستیار حالت پیشرفته حذف شود؟</translation>
    </message>
    <message>
        <source>This stops the tunnel and removes the root helper (%1). You can reinstall it any time — it&apos;s also how you upgrade the helper after an app update. %2 will ask for your password.</source>
        <translation>این کار تونل را متوقف می‌کند و دستیار root (%1) را حذف می‌کند. هر زمان بخواهید می‌توانید دوباره نصبش کنید — ارتقای دستیار پس از به‌روزرسانی برنامه هم همین‌گونه است. %2 گذرواژهٔ شما را خواهد خواست.</translation>
    </message>
    <message>
        <source>Couldn&apos;t remove the helper</source>
        <translation>دستیار حذف نشد</translation>
    </message>
    <message>
        <source>Open Settings</source>
        <translation>باز کردن تنظیمات</translation>
    </message>
    <message>
        <source>No notification service answers</source>
        <translation>هیچ سرویس اعلانی پاسخ نمی‌دهد</translation>
    </message>
    <message>
        <source>Ferrow shows its notifications through the desktop&apos;s notification service (org.freedesktop.Notifications), and none answers in this session. Start your desktop&apos;s notification daemon, or install one such as dunst or mako, then come back to this page.</source>
        <translation>‏Ferrow اعلان‌هایش را از راه سرویس اعلان میزکار (org.freedesktop.Notifications) نشان می‌دهد و در این نشست هیچ‌کدام پاسخ نمی‌دهد. سرویس اعلان میزکار خود را آغاز کنید، یا یکی مانند dunst یا mako نصب کنید، سپس به این صفحه برگردید.</translation>
    </message>
</context>
<context>
    <name>FRWSidebarViewController</name>
    <message>
        <source>Pages</source>
        <translation>صفحه‌ها</translation>
    </message>
    <message>
        <source>Activity</source>
        <translation>فعالیت</translation>
    </message>
    <message>
        <source>Overview</source>
        <translation>نمای کلی</translation>
    </message>
    <message>
        <source>Connections</source>
        <translation>اتصال‌ها</translation>
    </message>
    <message>
        <source>Clients</source>
        <translation>کلاینت‌ها</translation>
    </message>
    <message>
        <source>Process</source>
        <translation>فرایند</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>دستگاه</translation>
    </message>
    <message>
        <source>Proxies</source>
        <translation>پروکسی‌ها</translation>
    </message>
    <message>
        <source>Profile</source>
        <translation>پروفایل</translation>
    </message>
    <message>
        <source>Policy</source>
        <translation>سیاست</translation>
    </message>
    <message>
        <source>Rule</source>
        <translation>قانون</translation>
    </message>
    <message>
        <source>System</source>
        <translation>سیستم</translation>
    </message>
    <message>
        <source>Logs</source>
        <translation>گزارش‌ها</translation>
    </message>
    <message>
        <source>About</source>
        <translation>درباره</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>تنظیمات</translation>
    </message>
</context>
<context>
    <name>FRWStatusMenuBuilder</name>
    <message>
        <source>Failed</source>
        <translation>ناموفق</translation>
    </message>
    <message>
        <source>Show Main Window</source>
        <translation>نمایش پنجرهٔ اصلی</translation>
    </message>
    <message>
        <source>Rule-Based</source>
        <translation>بر اساس قانون</translation>
    </message>
    <message>
        <source>Direct</source>
        <translation>مستقیم</translation>
    </message>
    <message>
        <source>Global via</source>
        <translation>سراسری از راه</translation>
    </message>
    <message>
        <source>Outbound Mode</source>
        <translation>حالت خروجی</translation>
    </message>
    <message>
        <source>Testing…</source>
        <translation>در حال آزمون…</translation>
    </message>
    <message>
        <source>Test All</source>
        <translation>آزمون همه</translation>
    </message>
    <message>
        <source>Top Clients</source>
        <translation>کلاینت‌های برتر</translation>
    </message>
    <message>
        <source>    No traffic yet</source>
        <translation>    هنوز ترافیکی نیست</translation>
    </message>
    <message>
        <source>Set as System Proxy</source>
        <translation>تنظیم به‌عنوان پروکسی سیستم</translation>
    </message>
    <message>
        <source>Enhanced Mode</source>
        <translation>حالت پیشرفته</translation>
    </message>
    <message>
        <source>Copy Shell Export Command</source>
        <translation>کپی فرمان export پوسته</translation>
    </message>
    <message>
        <source>Switch Profile</source>
        <translation>تغییر پروفایل</translation>
    </message>
    <message>
        <source>Untitled</source>
        <translation>بی‌نام</translation>
    </message>
    <message>
        <source>External Resources</source>
        <translation>منابع خارجی</translation>
    </message>
    <message>
        <source>Update All External Resources</source>
        <translation>به‌روزرسانی همهٔ منابع خارجی</translation>
    </message>
    <message>
        <source>Edit in Text Editor</source>
        <translation>ویرایش در ویرایشگر متن</translation>
    </message>
    <message>
        <source>Reveal in %1</source>
        <translation>نمایش در %1</translation>
    </message>
    <message>
        <source>Reload Profile from File</source>
        <translation>بارگذاری دوبارهٔ پروفایل از پرونده</translation>
    </message>
    <message>
        <source>Check For Updates…</source>
        <translation>بررسی به‌روزرسانی…</translation>
    </message>
    <message>
        <source>Quit Ferrow</source>
        <translation>خروج از Ferrow</translation>
    </message>
</context>
<context>
    <name>FRWTerminatingPanel</name>
    <message>
        <source>Terminating…</source>
        <translation>در حال پایان دادن…</translation>
    </message>
    <message>
        <source>Restoring DNS and routing</source>
        <translation>بازگرداندن DNS و مسیریابی</translation>
    </message>
</context>
<context>
    <name>FRWTunnelController</name>
    <message>
        <source>%1 would not apply the proxy settings. This usually means the account is not an administrator, or Network settings are locked.</source>
        <translation>‏%1 تنظیمات پروکسی را اعمال نکرد. معمولاً یعنی حساب مدیر سیستم نیست، یا تنظیمات شبکه قفل شده است.</translation>
    </message>
    <message>
        <source>The core exited during startup. Check the profile for errors.</source>
        <translation>هسته هنگام آغاز بسته شد. پروفایل را برای خطا بررسی کنید.</translation>
    </message>
    <message>
        <source>The core exited during startup: %1</source>
        <translation>هسته هنگام آغاز بسته شد: %1</translation>
    </message>
    <message>
        <source>The core did not finish starting up.</source>
        <translation>آغاز هسته کامل نشد.</translation>
    </message>
</context>
<context>
    <name>FRWTunnelTexts</name>
    <message>
        <source>No server configured. Open Profile, set a server and PSK, then Save.</source>
        <translation>هیچ سروری پیکربندی نشده است. «پروفایل» را باز کنید، یک سرور و PSK تنظیم کنید، سپس ذخیره کنید.</translation>
    </message>
    <message>
        <source>Bundled core binary is missing.</source>
        <translation>پروندهٔ اجرایی هستهٔ همراه برنامه پیدا نشد.</translation>
    </message>
    <message>
        <source>The Enhanced Mode helper comes with the system package ferrow%1, so Ferrow does not install or remove its own in its place. Update or remove it with the system&apos;s package manager.</source>
        <translation>دستیار حالت پیشرفته همراه بستهٔ سیستمی ferrow%1 آمده است، پس Ferrow دستیار خود را به جای آن نصب یا حذف نمی‌کند. آن را با مدیر بستهٔ سیستم به‌روز یا حذف کنید.</translation>
    </message>
</context>
<context>
    <name>FRWUpdateChecker</name>
    <message>
        <source>The update feed could not be read.</source>
        <translation>خوراک به‌روزرسانی خوانده نشد.</translation>
    </message>
    <message>
        <source>Update Error!</source>
        <translation>خطای به‌روزرسانی!</translation>
    </message>
    <message>
        <source>An error occurred in retrieving update information. Please try again later.

%1</source>
        <translation>هنگام دریافت اطلاعات به‌روزرسانی خطایی رخ داد. لطفاً بعداً دوباره امتحان کنید.

%1</translation>
    </message>
    <message>
        <source>You’re up-to-date!</source>
        <translation>به‌روز هستید!</translation>
    </message>
    <message>
        <source>Ferrow %1 is currently the newest version available.</source>
        <translation>‏Ferrow %1 هم‌اکنون تازه‌ترین نسخهٔ موجود است.</translation>
    </message>
    <message>
        <source>A new version of Ferrow is available!</source>
        <translation>نسخهٔ تازه‌ای از Ferrow در دسترس است!</translation>
    </message>
    <message>
        <source>Ferrow %1 is now available—you have %2.</source>
        <translation>‏Ferrow %1 اکنون در دسترس است — نسخهٔ شما %2 است.</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>دریافت</translation>
    </message>
    <message>
        <source>Remind Me Later</source>
        <translation>بعداً یادآوری کن</translation>
    </message>
</context>
</TS>
