<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>FRWAboutViewController</name>
    <message>
        <source>About</source>
        <translation>О программе</translation>
    </message>
    <message>
        <source>A ferrow is the metal band that holds a blade fast in its handle: a small, plain part that keeps the connection tight. On the wire the protocol is as plain: its contents are encrypted from the very first byte, and it has no fixed shape for a classifier to key on — no TLS handshake, no imitated HTTP, no constant prefix, no fixed length. An observer can see that traffic passes, but not what it is.</source>
        <translation>Феррула (ferrow) — металлическое кольцо, которое крепко держит клинок в рукояти: маленькая простая деталь, благодаря которой соединение не разбалтывается. Протокол на проводе так же прост: его содержимое зашифровано с самого первого байта, и у него нет постоянной формы, за которую мог бы зацепиться классификатор, — ни рукопожатия TLS, ни подражания HTTP, ни постоянного префикса, ни фиксированной длины. Наблюдатель видит, что трафик идёт, но не видит, что это такое.</translation>
    </message>
    <message>
        <source>What it is built for</source>
        <translation>Для чего он создан</translation>
    </message>
    <message>
        <source>First, resisting detection and blocking: passive fingerprinting first, then active probing — a prober that cannot authenticate gets no answer at all, exactly as for a wrong guess. Second, speed: pure TCP, a single AEAD seal per frame, a prewarmed pool of connections, and TCP Fast Open where the path allows it. All of it serves one purpose: free access to information.</source>
        <translation>Во-первых, противостоять обнаружению и блокировке: сначала пассивному снятию отпечатков, затем активному зондированию — зонд, который не может пройти аутентификацию, не получает вообще никакого ответа, точно как при неверной догадке. Во-вторых, скорость: чистый TCP, одна печать AEAD на кадр, заранее прогретый пул соединений и TCP Fast Open там, где путь это позволяет. Всё это служит одной цели: свободному доступу к информации.</translation>
    </message>
    <message>
        <source>You need a server</source>
        <translation>Вам нужен сервер</translation>
    </message>
    <message>
        <source>This application is the client. It connects to a server that you run yourself; there is no shared or hosted service. Copy the ferrow-server package to any Debian or Ubuntu machine with a public address and set it up there (SERVER is how you reach it over SSH):</source>
        <translation>Это приложение — клиент. Оно подключается к серверу, который вы запускаете сами; общего или размещённого сервиса нет. Скопируйте пакет ferrow-server на любую машину с Debian или Ubuntu и публичным адресом и настройте его там (SERVER — адрес, по которому вы заходите на неё по SSH):</translation>
    </message>
    <message>
        <source>This application is the client. It connects to a server that you run yourself; there is no shared or hosted service. This command sets one up on any Linux machine with a public address:</source>
        <translation>Это приложение — клиент. Оно подключается к серверу, который вы запускаете сами; общего или размещённого сервиса нет. Эта команда настраивает сервер на любой машине с Linux и публичным адресом:</translation>
    </message>
    <message>
        <source>Copy the command</source>
        <translation>Скопировать команду</translation>
    </message>
    <message>
        <source>Copy the install command</source>
        <translation>Скопировать команду установки</translation>
    </message>
    <message>
        <source>The set-up prints a PSK and a port when it finishes. Put those into a node on the Policy screen and you are connected.</source>
        <translation>По окончании установка выводит PSK и порт. Впишите их в узел на экране «Политика» — и вы подключены.</translation>
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
        <translation>Активность</translation>
    </message>
    <message>
        <source>System Proxy</source>
        <translation>Системный прокси</translation>
    </message>
    <message>
        <source>Enhanced Mode</source>
        <translation>Расширенный режим</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>Сеть</translation>
    </message>
    <message>
        <source>Profile</source>
        <translation>Профиль</translation>
    </message>
    <message>
        <source>Outbound Mode</source>
        <translation>Режим выхода</translation>
    </message>
    <message>
        <source>Rule-Based Proxy</source>
        <translation>Прокси по правилам</translation>
    </message>
    <message>
        <source>External IP</source>
        <translation>Внешний IP</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>Отправка</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Загрузка</translation>
    </message>
    <message>
        <source>Add your server to get started</source>
        <translation>Добавьте свой сервер, чтобы начать</translation>
    </message>
    <message>
        <source>The profile still holds the example nodes, which cannot work. Copy the ferrow:// link your server printed and paste it here: Ferrow adds the node, puts it in the Proxy group and chooses it. Then turn on System Proxy.

No server yet? Install ferrow-server on a machine of yours; the About page has the commands.

To show your external address, its location and your resolver&apos;s latency, Ferrow asks public echo, location and DNS services; turn that off under Settings → Privacy.</source>
        <translation>В профиле всё ещё примерные узлы, которые работать не могут. Скопируйте ссылку ferrow://, которую вывел ваш сервер, и вставьте её сюда: Ferrow добавит узел, поместит его в группу Proxy и выберет его. Затем включите системный прокси.

Сервера ещё нет? Установите ferrow-server на свою машину; команды есть на странице «О программе».

Чтобы показать ваш внешний адрес, его местоположение и задержку вашего DNS-сервера, Ferrow обращается к публичным эхо-сервисам, сервисам геолокации и DNS; это можно отключить в «Настройки → Конфиденциальность».</translation>
    </message>
    <message>
        <source>Paste ferrow:// Link</source>
        <translation>Вставить ссылку ferrow://</translation>
    </message>
    <message>
        <source>Add %1</source>
        <translation>Добавить %1</translation>
    </message>
    <message>
        <source>Add “%1”</source>
        <translation>Добавить «%1»</translation>
    </message>
    <message>
        <source>A ferrow:// link for %1 is on the clipboard.</source>
        <translation>В буфере обмена есть ссылка ferrow:// для %1.</translation>
    </message>
    <message>
        <source>Internet Latency</source>
        <translation>Задержка интернета</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Обновить</translation>
    </message>
    <message>
        <source>Proxy</source>
        <translation>Прокси</translation>
    </message>
    <message>
        <source>Active Connection</source>
        <translation>Активное подключение</translation>
    </message>
    <message>
        <source>Processes</source>
        <translation>Процессы</translation>
    </message>
    <message>
        <source>Total Traffic</source>
        <translation>Общий трафик</translation>
    </message>
    <message>
        <source>Total Traffic Period</source>
        <translation>Период общего трафика</translation>
    </message>
    <message>
        <source>Traffic</source>
        <translation>Трафик</translation>
    </message>
    <message>
        <source>Traffic Shown</source>
        <translation>Показываемый трафик</translation>
    </message>
    <message>
        <source>Traffic Grouped By</source>
        <translation>Группировка трафика</translation>
    </message>
    <message>
        <source>No traffic yet</source>
        <translation>Трафика пока нет</translation>
    </message>
    <message>
        <source>Rule-Based</source>
        <translation>По правилам</translation>
    </message>
    <message>
        <source>Direct</source>
        <translation>Напрямую</translation>
    </message>
    <message>
        <source>Global</source>
        <translation>Глобальный</translation>
    </message>
    <message>
        <source>(connect to load nodes)</source>
        <translation>(подключитесь, чтобы загрузить узлы)</translation>
    </message>
    <message>
        <source>Last Updated: %1</source>
        <translation>Последнее обновление: %1</translation>
    </message>
    <message>
        <source>Show IPv4 Address</source>
        <translation>Показать адрес IPv4</translation>
    </message>
    <message>
        <source>Show IPv6 Address</source>
        <translation>Показать адрес IPv6</translation>
    </message>
    <message>
        <source>Refresh Now</source>
        <translation>Обновить сейчас</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Копировать</translation>
    </message>
    <message>
        <source>TODAY</source>
        <translation>СЕГОДНЯ</translation>
    </message>
    <message>
        <source>MONTH</source>
        <translation>МЕСЯЦ</translation>
    </message>
    <message>
        <source>ALL</source>
        <translation>ВСЕ</translation>
    </message>
    <message>
        <source>PROXY</source>
        <translation>ПРОКСИ</translation>
    </message>
    <message>
        <source>CLIENT</source>
        <translation>КЛИЕНТ</translation>
    </message>
    <message>
        <source>DOMAIN</source>
        <translation>ДОМЕН</translation>
    </message>
    <message>
        <source>POLICY</source>
        <translation>ПОЛИТИКА</translation>
    </message>
    <message>
        <source>NOW</source>
        <translation>СЕЙЧАС</translation>
    </message>
    <message>
        <source>1D</source>
        <comment>today</comment>
        <translation>ДЕНЬ</translation>
    </message>
    <message>
        <source>7D</source>
        <comment>seven days</comment>
        <translation>7 ДН.</translation>
    </message>
    <message>
        <source>30D</source>
        <comment>thirty days</comment>
        <translation>30 ДН.</translation>
    </message>
    <message>
        <source>Traffic Period</source>
        <translation>Период трафика</translation>
    </message>
</context>
<context>
    <name>FRWAppDelegate</name>
    <message>
        <source>About Ferrow</source>
        <translation>О Ferrow</translation>
    </message>
    <message>
        <source>Ferrow %1</source>
        <translation>Ferrow %1</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>Проверить обновления…</translation>
    </message>
    <message>
        <source>Hide Ferrow</source>
        <translation>Скрыть Ferrow</translation>
    </message>
    <message>
        <source>Quit Ferrow</source>
        <translation>Выйти из Ferrow</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Правка</translation>
    </message>
    <message>
        <source>Check for Updates</source>
        <translation>Проверка обновлений</translation>
    </message>
    <message>
        <source>Ferrow is updated by the system’s package manager.</source>
        <translation>Ferrow обновляется менеджером пакетов системы.</translation>
    </message>
    <message>
        <source>New versions arrive with the system’s other updates.</source>
        <translation>Новые версии приходят вместе с другими обновлениями системы.</translation>
    </message>
    <message>
        <source>Shell export command copied</source>
        <translation>Команда export для оболочки скопирована</translation>
    </message>
</context>
<context>
    <name>FRWAppModel</name>
    <message>
        <source>Also logged in to this computer: %1. While Enhanced Mode is on, their traffic and DNS go through your profile, and you can see it.</source>
        <translation>На этом компьютере также вошли в систему: %1. Пока включён расширенный режим, их трафик и DNS идут через ваш профиль, и вы их видите.</translation>
    </message>
    <message>
        <source>System Proxy stopped</source>
        <translation>Системный прокси остановлен</translation>
    </message>
    <message>
        <source>Its core exited. The desktop&apos;s proxy settings were put back, so traffic now goes out directly.</source>
        <translation>Его ядро завершилось. Настройки прокси рабочего стола восстановлены, поэтому трафик теперь идёт напрямую.</translation>
    </message>
    <message>
        <source>Enhanced Mode stopped</source>
        <translation>Расширенный режим остановлен</translation>
    </message>
    <message>
        <source>Its core exited, so traffic now goes out directly.</source>
        <translation>Его ядро завершилось, поэтому трафик теперь идёт напрямую.</translation>
    </message>
    <message>
        <source>Couldn&apos;t connect</source>
        <translation>Не удалось подключиться</translation>
    </message>
    <message>
        <source>Couldn&apos;t start System Proxy</source>
        <translation>Не удалось запустить системный прокси</translation>
    </message>
    <message>
        <source>System Proxy was not turned back on</source>
        <translation>Системный прокси не был снова включён</translation>
    </message>
    <message>
        <source>Enhanced Mode was not turned back on</source>
        <translation>Расширенный режим не был снова включён</translation>
    </message>
</context>
<context>
    <name>FRWClientRowDelegate</name>
    <message>
        <source>Total %1</source>
        <translation>Всего %1</translation>
    </message>
</context>
<context>
    <name>FRWClientsViewController</name>
    <message>
        <source>Nothing yet.</source>
        <translation>Пока ничего.</translation>
    </message>
    <message>
        <source>Now</source>
        <translation>Сейчас</translation>
    </message>
    <message>
        <source>Today</source>
        <translation>Сегодня</translation>
    </message>
    <message>
        <source>7 Days</source>
        <translation>7 дней</translation>
    </message>
    <message>
        <source>30 Days</source>
        <translation>30 дней</translation>
    </message>
    <message>
        <source>Period</source>
        <translation>Период</translation>
    </message>
    <message>
        <source>The history is not available without the core.</source>
        <translation>История недоступна без ядра.</translation>
    </message>
    <message>
        <source>Nothing in this period.</source>
        <translation>За этот период ничего нет.</translation>
    </message>
</context>
<context>
    <name>FRWConnectionsViewController</name>
    <message>
        <source>Connections</source>
        <translation>Подключения</translation>
    </message>
    <message>
        <source>Search Connections</source>
        <translation>Поиск подключений</translation>
    </message>
    <message>
        <source>Filter host, process, policy, rule…</source>
        <translation>Фильтр: хост, процесс, политика, правило…</translation>
    </message>
    <message>
        <source>Select a connection above to see its fake IP, client and matched rule.</source>
        <translation>Выберите подключение выше, чтобы увидеть его поддельный IP, клиента и совпавшее правило.</translation>
    </message>
    <message numerus="yes">
        <source>%n matching</source>
        <translation>
            <numerusform>%n совпадение</numerusform>
            <numerusform>%n совпадения</numerusform>
            <numerusform>%n совпадений</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n active  ·  %1 total</source>
        <translation>
            <numerusform>%n активное  ·  всего %1</numerusform>
            <numerusform>%n активных  ·  всего %1</numerusform>
            <numerusform>%n активных  ·  всего %1</numerusform>
        </translation>
    </message>
    <message>
        <source>No connections match your filter.</source>
        <translation>Нет подключений, подходящих под фильтр.</translation>
    </message>
    <message>
        <source>No connections yet.
Connect and browse to see live traffic.</source>
        <translation>Подключений пока нет.
Подключитесь и откройте сайты, чтобы увидеть живой трафик.</translation>
    </message>
    <message>
        <source>Destination</source>
        <translation>Назначение</translation>
    </message>
    <message>
        <source>Policy / Group</source>
        <translation>Политика / группа</translation>
    </message>
    <message>
        <source>Matched rule</source>
        <translation>Совпавшее правило</translation>
    </message>
    <message>
        <source>Fake IP</source>
        <translation>Поддельный IP</translation>
    </message>
    <message>
        <source>— (not fake-ip)</source>
        <translation>— (не fake-ip)</translation>
    </message>
    <message>
        <source>Client process</source>
        <translation>Процесс клиента</translation>
    </message>
    <message>
        <source>— (unknown)</source>
        <translation>— (неизвестно)</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Источник</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>Сеть</translation>
    </message>
    <message>
        <source>Traffic</source>
        <translation>Трафик</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Состояние</translation>
    </message>
    <message>
        <source>%1 · started %2</source>
        <translation>%1 · начато %2</translation>
    </message>
    <message>
        <source>DETAILS</source>
        <translation>ПОДРОБНОСТИ</translation>
    </message>
    <message>
        <source>closed</source>
        <translation>закрыто</translation>
    </message>
    <message>
        <source>active</source>
        <translation>активно</translation>
    </message>
</context>
<context>
    <name>FRWCoreLauncher</name>
    <message>
        <source>%1 is not an executable file</source>
        <translation>%1 не является исполняемым файлом</translation>
    </message>
</context>
<context>
    <name>FRWDeviceViewController</name>
    <message>
        <source>Device</source>
        <translation>Устройство</translation>
    </message>
    <message>
        <source>Gateway Mode</source>
        <translation>Режим шлюза</translation>
    </message>
    <message>
        <source>Gateway settings</source>
        <translation>Настройки шлюза</translation>
    </message>
    <message>
        <source>Point another device&apos;s default gateway at %1 and its traffic is proxied by rule. Set that device&apos;s DNS manually too, or its IPv6 will bypass the proxy.</source>
        <translation>Укажите %1 как шлюз по умолчанию на другом устройстве, и его трафик пойдёт через прокси по правилам. Задайте на том устройстве и DNS вручную, иначе его IPv6 обойдёт прокси.</translation>
    </message>
    <message>
        <source>Reconnect Enhanced Mode to apply</source>
        <translation>Переподключите расширенный режим, чтобы применить</translation>
    </message>
    <message>
        <source>Gateway mode takes effect the next time Enhanced Mode starts.</source>
        <translation>Режим шлюза вступит в силу при следующем запуске расширенного режима.</translation>
    </message>
    <message>
        <source>On the device you want to proxy, set:

    Router / Gateway:  %1
    DNS:  %2  (manual, not automatic)

The DNS entry is not optional. A manual gateway only redirects IPv4; the device still learns its IPv6 router from the network, so with automatic DNS its IPv6 traffic goes straight out and never reaches %3.</source>
        <translation>На устройстве, которое нужно пустить через прокси, задайте:

    Маршрутизатор / шлюз:  %1
    DNS:  %2  (вручную, не автоматически)

Строка DNS обязательна. Шлюз, заданный вручную, перенаправляет только IPv4; устройство по-прежнему узнаёт свой маршрутизатор IPv6 из сети, поэтому при автоматическом DNS его трафик IPv6 уходит напрямую и никогда не доходит до %3.</translation>
    </message>
    <message>
        <source>%1&apos;s LAN IP</source>
        <translation>локальный IP (%1)</translation>
    </message>
    <message>
        <source>No Device</source>
        <translation>Нет устройств</translation>
    </message>
</context>
<context>
    <name>FRWElidedLabel</name>
    <message>
        <source>Copy</source>
        <translation>Копировать</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>Выделить всё</translation>
    </message>
</context>
<context>
    <name>FRWEnhancedMode</name>
    <message>
        <source>Helper install did not complete.</source>
        <translation>Установка помощника не завершилась.</translation>
    </message>
    <message>
        <source>Bundled helper is missing from the app.</source>
        <translation>В приложении нет встроенного помощника.</translation>
    </message>
    <message>
        <source>Helper removal did not complete.</source>
        <translation>Удаление помощника не завершилось.</translation>
    </message>
</context>
<context>
    <name>FRWExternalResourcesController</name>
    <message>
        <source>External Resources</source>
        <translation>Внешние ресурсы</translation>
    </message>
    <message>
        <source>External Resource</source>
        <translation>Внешний ресурс</translation>
    </message>
    <message>
        <source>Rule-sets downloaded from URLs</source>
        <translation>Наборы правил, загружаемые по URL</translation>
    </message>
    <message>
        <source>External resources</source>
        <translation>Внешние ресурсы</translation>
    </message>
    <message>
        <source>This profile has no external resources.</source>
        <translation>В этом профиле нет внешних ресурсов.</translation>
    </message>
    <message>
        <source>Only show not ready items</source>
        <translation>Показывать только неготовые</translation>
    </message>
    <message>
        <source>Update All</source>
        <translation>Обновить все</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Готово</translation>
    </message>
    <message>
        <source>Not ready</source>
        <translation>Не готов</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Готов</translation>
    </message>
    <message>
        <source>Stale</source>
        <translation>Устарел</translation>
    </message>
    <message>
        <source>Updating…</source>
        <translation>Обновление…</translation>
    </message>
    <message>
        <source>Never</source>
        <translation>Никогда</translation>
    </message>
    <message>
        <source>Just now</source>
        <translation>Только что</translation>
    </message>
    <message numerus="yes">
        <source>%n minutes ago</source>
        <translation>
            <numerusform>%n минуту назад</numerusform>
            <numerusform>%n минуты назад</numerusform>
            <numerusform>%n минут назад</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n hours ago</source>
        <translation>
            <numerusform>%n час назад</numerusform>
            <numerusform>%n часа назад</numerusform>
            <numerusform>%n часов назад</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n days ago</source>
        <translation>
            <numerusform>%n день назад</numerusform>
            <numerusform>%n дня назад</numerusform>
            <numerusform>%n дней назад</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FRWGroupTile</name>
    <message>
        <source>Delete Group</source>
        <translation>Удалить группу</translation>
    </message>
</context>
<context>
    <name>FRWHelperClient</name>
    <message>
        <source>Couldn&apos;t communicate with the helper (%1).</source>
        <translation>Не удалось связаться с помощником (%1).</translation>
    </message>
    <message>
        <source>the helper closed the connection</source>
        <translation>помощник закрыл соединение</translation>
    </message>
    <message>
        <source>no version</source>
        <translation>нет версии</translation>
    </message>
    <message>
        <source>connection closed</source>
        <translation>соединение закрыто</translation>
    </message>
    <message>
        <source>reply too long</source>
        <translation>слишком длинный ответ</translation>
    </message>
    <message>
        <source>reply to no request</source>
        <translation>ответ на несуществующий запрос</translation>
    </message>
</context>
<context>
    <name>FRWLiveReload</name>
    <message>
        <source>Profile reload failed — still using the previous working version</source>
        <translation>Не удалось перезагрузить профиль — по-прежнему используется предыдущая рабочая версия</translation>
    </message>
    <message>
        <source>The edited profile could not be applied, so Ferrow kept the last working configuration and your connection was not interrupted. Fix the profile and save again.

%1</source>
        <translation>Изменённый профиль не удалось применить, поэтому Ferrow сохранил последнюю рабочую конфигурацию, и ваше подключение не прервалось. Исправьте профиль и сохраните снова.

%1</translation>
    </message>
</context>
<context>
    <name>FRWLogFindBar</name>
    <message>
        <source>Find in log</source>
        <translation>Найти в журнале</translation>
    </message>
    <message>
        <source>All</source>
        <translation>Все</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>Инфо</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Предупреждение</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Not found</source>
        <translation>Не найдено</translation>
    </message>
</context>
<context>
    <name>FRWLoginItem</name>
    <message>
        <source>Cannot create %1</source>
        <translation>Не удаётся создать %1</translation>
    </message>
</context>
<context>
    <name>FRWLogsViewController</name>
    <message>
        <source>Logs</source>
        <translation>Журнал</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>Журнал</translation>
    </message>
    <message>
        <source>No logs yet.
Connect to see live core activity.</source>
        <translation>Журнал пока пуст.
Подключитесь, чтобы видеть работу ядра в реальном времени.</translation>
    </message>
    <message>
        <source>Copy Lines</source>
        <translation>Копировать строки</translation>
    </message>
    <message>
        <source>Find…</source>
        <translation>Найти…</translation>
    </message>
</context>
<context>
    <name>FRWMainWindowController</name>
    <message>
        <source>View</source>
        <translation>Вид</translation>
    </message>
</context>
<context>
    <name>FRWNodeEditorSheet</name>
    <message>
        <source>Edit Node</source>
        <translation>Изменить узел</translation>
    </message>
    <message>
        <source>Add Node</source>
        <translation>Добавить узел</translation>
    </message>
    <message>
        <source>A Ferrow server you can route traffic through. Groups on this screen reference nodes by name.</source>
        <translation>Сервер Ferrow, через который можно направлять трафик. Группы на этом экране ссылаются на узлы по имени.</translation>
    </message>
    <message>
        <source>Paste ferrow:// Link</source>
        <translation>Вставить ссылку ferrow://</translation>
    </message>
    <message>
        <source>Fill these in from a ferrow:// link on the clipboard</source>
        <translation>Заполнить по ссылке ferrow:// из буфера обмена</translation>
    </message>
    <message>
        <source>host or IP</source>
        <translation>хост или IP</translation>
    </message>
    <message>
        <source>shared key from the server installer</source>
        <translation>общий ключ от установщика сервера</translation>
    </message>
    <message>
        <source>Show the key</source>
        <translation>Показать ключ</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Имя</translation>
    </message>
    <message>
        <source>Server</source>
        <translation>Сервер</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Порт</translation>
    </message>
    <message>
        <source>TCP Fast Open</source>
        <translation>TCP Fast Open</translation>
    </message>
    <message>
        <source>Key</source>
        <translation>Ключ</translation>
    </message>
    <message>
        <source>Reached through: </source>
        <translation>Доступен через: </translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Сохранить</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Добавить</translation>
    </message>
    <message>
        <source>Read %1:%2 · TFO %3</source>
        <translation>Прочитано %1:%2 · TFO %3</translation>
    </message>
    <message>
        <source>Read %1:%2</source>
        <translation>Прочитано %1:%2</translation>
    </message>
    <message>
        <source>Hide the key</source>
        <translation>Скрыть ключ</translation>
    </message>
</context>
<context>
    <name>FRWNodeShareSheet</name>
    <message>
        <source>Share “%1”</source>
        <translation>Поделиться «%1»</translation>
    </message>
    <message>
        <source>QR code of the node&apos;s link</source>
        <translation>QR-код ссылки на узел</translation>
    </message>
    <message>
        <source>The link holds the node&apos;s key: anyone who has it can use your server. Share it only with your own devices, and never in a public place.</source>
        <translation>Ссылка содержит ключ узла: любой, у кого она есть, может пользоваться вашим сервером. Передавайте её только на свои устройства и никогда не публикуйте.</translation>
    </message>
    <message>
        <source>Copy Link</source>
        <translation>Копировать ссылку</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Готово</translation>
    </message>
    <message>
        <source>This node has no key or no valid server and port, so it has no link to share. Edit the node first.</source>
        <translation>У этого узла нет ключа или верного сервера и порта, поэтому ссылки для передачи нет. Сначала измените узел.</translation>
    </message>
    <message>
        <source>Scan the code with the device that should use this node, or copy the link and send it over a channel you trust.</source>
        <translation>Отсканируйте код устройством, которое будет пользоваться этим узлом, или скопируйте ссылку и отправьте её по каналу, которому доверяете.</translation>
    </message>
    <message>
        <source>Copied</source>
        <translation>Скопировано</translation>
    </message>
</context>
<context>
    <name>FRWNodeTile</name>
    <message>
        <source>Tap to Test</source>
        <translation>Нажмите для проверки</translation>
    </message>
    <message>
        <source>Edit Node…</source>
        <translation>Изменить узел…</translation>
    </message>
    <message>
        <source>Delete Node</source>
        <translation>Удалить узел</translation>
    </message>
    <message>
        <source>Share…</source>
        <translation>Поделиться…</translation>
    </message>
</context>
<context>
    <name>FRWOverviewViewController</name>
    <message>
        <source>Overview</source>
        <translation>Обзор</translation>
    </message>
    <message>
        <source>System Proxy</source>
        <translation>Системный прокси</translation>
    </message>
    <message>
        <source>Most apps&apos; traffic is captured through the system HTTP/SOCKS proxy. Best compatibility and performance.</source>
        <translation>Трафик большинства приложений перехватывается через системный прокси HTTP/SOCKS. Лучшая совместимость и производительность.</translation>
    </message>
    <message>
        <source>Enhanced Mode</source>
        <translation>Расширенный режим</translation>
    </message>
    <message>
        <source>Some apps ignore the system proxy. Enhanced Mode forces all their traffic through the tunnel.</source>
        <translation>Некоторые приложения игнорируют системный прокси. Расширенный режим направляет весь их трафик в туннель.</translation>
    </message>
    <message>
        <source>HTTP &amp; SOCKS5 Proxy</source>
        <translation>Прокси HTTP и SOCKS5</translation>
    </message>
    <message>
        <source>Act as a standard HTTP and SOCKS5 proxy for other devices on the same local network.</source>
        <translation>Работать как обычный прокси HTTP и SOCKS5 для других устройств в той же локальной сети.</translation>
    </message>
    <message>
        <source>Gateway Mode</source>
        <translation>Режим шлюза</translation>
    </message>
    <message>
        <source>LAN devices that point their default gateway at %1 are proxied by rule. Also set their DNS manually, or IPv6 bypasses the proxy.</source>
        <translation>Устройства локальной сети, у которых шлюз по умолчанию указывает на %1, идут через прокси по правилам. Задайте им и DNS вручную, иначе IPv6 обходит прокси.</translation>
    </message>
    <message>
        <source>A private network between your devices running Ferrow, so you can reach %1&apos;s proxy from anywhere. Coming soon.</source>
        <translation>Частная сеть между вашими устройствами с Ferrow, чтобы пользоваться прокси %1 откуда угодно. Скоро.</translation>
    </message>
    <message>
        <source>Network Takeover</source>
        <translation>Перехват сети</translation>
    </message>
    <message>
        <source>LAN Device Takeover</source>
        <translation>Перехват устройств локальной сети</translation>
    </message>
    <message>
        <source>Remote Connectivity</source>
        <translation>Удалённый доступ</translation>
    </message>
    <message>
        <source>Running · 127.0.0.1:7891</source>
        <translation>Работает · 127.0.0.1:7891</translation>
    </message>
    <message>
        <source>Not set</source>
        <translation>Не задан</translation>
    </message>
    <message>
        <source>Enabled</source>
        <translation>Включён</translation>
    </message>
    <message>
        <source>Disabled</source>
        <translation>Выключен</translation>
    </message>
    <message>
        <source>Sharing on %1</source>
        <translation>Раздаётся на %1</translation>
    </message>
    <message>
        <source>Running on %1</source>
        <translation>Работает на %1</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Выкл.</translation>
    </message>
    <message>
        <source>Needs the tunnel running</source>
        <translation>Нужен работающий туннель</translation>
    </message>
    <message>
        <source>Transparent gateway on</source>
        <translation>Прозрачный шлюз включён</translation>
    </message>
    <message>
        <source>Not configured</source>
        <translation>Не настроен</translation>
    </message>
    <message>
        <source>Not available yet</source>
        <translation>Пока недоступно</translation>
    </message>
    <message>
        <source>Other devices can use %1 as a proxy</source>
        <translation>Другие устройства могут использовать %1 как прокси</translation>
    </message>
    <message>
        <source>Point them at  %1:7891  (HTTP or SOCKS5).

Anyone who can reach that port can use your nodes, so leave it off on networks you do not control.</source>
        <translation>Укажите им  %1:7891  (HTTP или SOCKS5).

Любой, кто может достучаться до этого порта, может пользоваться вашими узлами, поэтому в сетях, которые вы не контролируете, держите это выключенным.</translation>
    </message>
    <message>
        <source>%1&apos;s IP</source>
        <translation>IP (%1)</translation>
    </message>
    <message>
        <source>On the other device, set its default gateway to  %1  and its DNS to a public resolver such as </source>
        <translation>На другом устройстве задайте шлюз по умолчанию  %1  и DNS — публичный сервер, например </translation>
    </message>
    <message>
        <source>%1&apos;s LAN IP</source>
        <translation>локальный IP (%1)</translation>
    </message>
    <message>
        <source> — not &quot;automatic&quot;.

Without the DNS change the device keeps using the network&apos;s own IPv6 router, and its IPv6 traffic bypasses the proxy entirely.</source>
        <translation> — не «автоматически».

Без изменения DNS устройство продолжит использовать собственный маршрутизатор IPv6 сети, и его трафик IPv6 полностью обойдёт прокси.</translation>
    </message>
    <message>
        <source>

Reconnect Enhanced Mode to apply.</source>
        <translation>

Переподключите расширенный режим, чтобы применить.</translation>
    </message>
    <message>
        <source>

Enhanced Mode is off — gateway mode does nothing until it is on.</source>
        <translation>

Расширенный режим выключен — пока он не включён, режим шлюза ничего не делает.</translation>
    </message>
    <message>
        <source>Route another device through %1</source>
        <translation>Пустить другое устройство через %1</translation>
    </message>
    <message>
        <source>Ferrow Varnel isn’t available yet</source>
        <translation>Ferrow Varnel пока недоступен</translation>
    </message>
    <message>
        <source>A private network between your own devices — so you can reach %1’s proxy from anywhere — is still being built. This switch will start working once it ships.</source>
        <translation>Частная сеть между вашими собственными устройствами — чтобы пользоваться прокси %1 откуда угодно — ещё в разработке. Этот переключатель заработает, когда она выйдет.</translation>
    </message>
</context>
<context>
    <name>FRWPlaceholderViewController</name>
    <message>
        <source>Not available in Ferrow.</source>
        <translation>Недоступно в Ferrow.</translation>
    </message>
</context>
<context>
    <name>FRWPlatformTerms</name>
    <message>
        <source>the system</source>
        <translation>система</translation>
    </message>
    <message>
        <source>The system</source>
        <translation>Система</translation>
    </message>
    <message>
        <source>this computer</source>
        <translation>этот компьютер</translation>
    </message>
    <message>
        <source>computer</source>
        <translation>компьютер</translation>
    </message>
    <message>
        <source>File Manager</source>
        <translation>файловом менеджере</translation>
    </message>
    <message>
        <source>system service</source>
        <translation>системная служба</translation>
    </message>
    <message>
        <source>release</source>
        <translation>выпуска</translation>
    </message>
</context>
<context>
    <name>FRWPlusTile</name>
    <message>
        <source>Add</source>
        <translation>Добавить</translation>
    </message>
</context>
<context>
    <name>FRWPolicyViewController</name>
    <message>
        <source>Every request goes out directly, without going through a node.</source>
        <translation>Все запросы идут напрямую, без узлов.</translation>
    </message>
    <message>
        <source>Every request is sent through one node.</source>
        <translation>Все запросы отправляются через один узел.</translation>
    </message>
    <message>
        <source>Using the rule system to decide how each request is handled.</source>
        <translation>Система правил решает, как обработать каждый запрос.</translation>
    </message>
    <message>
        <source>Manual Selection Group — you choose the member</source>
        <translation>Группа ручного выбора — участника выбираете вы</translation>
    </message>
    <message>
        <source>Automatic Testing Group — lowest latency wins</source>
        <translation>Группа автопроверки — побеждает наименьшая задержка</translation>
    </message>
    <message>
        <source>Fallback Group — first member that is alive</source>
        <translation>Резервная группа — первый живой участник</translation>
    </message>
    <message>
        <source>Load Balance Group — spread across members</source>
        <translation>Группа балансировки — распределение по участникам</translation>
    </message>
    <message>
        <source>Consistent hashing — one site always uses one member</source>
        <translation>Согласованное хеширование — один сайт всегда через одного участника</translation>
    </message>
    <message>
        <source>Round robin — every connection may use a different member</source>
        <translation>По кругу — каждое подключение может идти через другого участника</translation>
    </message>
    <message>
        <source>Sticky sessions — this client stays on one member</source>
        <translation>Липкие сеансы — этот клиент остаётся на одном участнике</translation>
    </message>
    <message>
        <source>Automatic Testing Group</source>
        <translation>Группа автопроверки</translation>
    </message>
    <message>
        <source>Fallback Group</source>
        <translation>Резервная группа</translation>
    </message>
    <message>
        <source>Load Balance Group</source>
        <translation>Группа балансировки</translation>
    </message>
    <message>
        <source>Manual Selection Group</source>
        <translation>Группа ручного выбора</translation>
    </message>
    <message>
        <source>Testing…</source>
        <translation>Проверка…</translation>
    </message>
    <message>
        <source>%1 ms · old</source>
        <translation>%1 ms · устар.</translation>
    </message>
    <message>
        <source>Refused</source>
        <translation>Отказано</translation>
    </message>
    <message>
        <source>No route</source>
        <translation>Нет маршрута</translation>
    </message>
    <message>
        <source>Name not found</source>
        <translation>Имя не найдено</translation>
    </message>
    <message>
        <source>Rejected</source>
        <translation>Отклонено</translation>
    </message>
    <message>
        <source>Timeout</source>
        <translation>Тайм-аут</translation>
    </message>
    <message>
        <source>Tap to Test</source>
        <translation>Нажмите для проверки</translation>
    </message>
    <message>
        <source>Policy</source>
        <translation>Политика</translation>
    </message>
    <message>
        <source>Direct Outbound</source>
        <translation>Напрямую</translation>
    </message>
    <message>
        <source>Global Proxy</source>
        <translation>Глобальный прокси</translation>
    </message>
    <message>
        <source>Rule-based Proxy</source>
        <translation>Прокси по правилам</translation>
    </message>
    <message>
        <source>Outbound Mode</source>
        <translation>Режим выхода</translation>
    </message>
    <message>
        <source>Test All</source>
        <translation>Проверить все</translation>
    </message>
    <message>
        <source>Add Node</source>
        <translation>Добавить узел</translation>
    </message>
    <message>
        <source>POLICY GROUP</source>
        <translation>ГРУППЫ ПОЛИТИК</translation>
    </message>
    <message>
        <source>Add Policy Group</source>
        <translation>Добавить группу политик</translation>
    </message>
    <message>
        <source> (missing)</source>
        <translation> (отсутствует)</translation>
    </message>
    <message>
        <source>A group chooses between policies you already have; it does not create new ones.</source>
        <translation>Группа выбирает между уже имеющимися политиками; новых она не создаёт.</translation>
    </message>
    <message>
        <source>Group name (e.g. Streaming)</source>
        <translation>Имя группы (например, Streaming)</translation>
    </message>
    <message>
        <source>Group name</source>
        <translation>Имя группы</translation>
    </message>
    <message>
        <source>Group type</source>
        <translation>Тип группы</translation>
    </message>
    <message>
        <source>Balancing:</source>
        <translation>Балансировка:</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Добавить</translation>
    </message>
    <message>
        <source>Delete “%1”?</source>
        <translation>Удалить «%1»?</translation>
    </message>
    <message>
        <source>Rules that send traffic to this group will fall through to FINAL.</source>
        <translation>Правила, отправляющие трафик в эту группу, будут проваливаться до FINAL.</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Удалить</translation>
    </message>
    <message>
        <source>PROXY</source>
        <translation>ПРОКСИ</translation>
    </message>
</context>
<context>
    <name>FRWPrivilegedScriptRunner</name>
    <message>
        <source>Authorization was cancelled.</source>
        <translation>Авторизация отменена.</translation>
    </message>
    <message>
        <source>This account is not allowed to make this change, or the password could not be checked.</source>
        <translation>Этой учётной записи не разрешено вносить это изменение, или пароль не удалось проверить.</translation>
    </message>
    <message>
        <source>The change failed (exit status %1).</source>
        <translation>Изменение не удалось (код завершения %1).</translation>
    </message>
</context>
<context>
    <name>FRWProbeText</name>
    <message>
        <source>never</source>
        <translation>никогда</translation>
    </message>
    <message>
        <source>just now</source>
        <translation>только что</translation>
    </message>
    <message numerus="yes">
        <source>%n minute ago</source>
        <translation>
            <numerusform>%n минуту назад</numerusform>
            <numerusform>%n минуты назад</numerusform>
            <numerusform>%n минут назад</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n minutes ago</source>
        <translation>
            <numerusform>%n минуту назад</numerusform>
            <numerusform>%n минуты назад</numerusform>
            <numerusform>%n минут назад</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n hour ago</source>
        <translation>
            <numerusform>%n час назад</numerusform>
            <numerusform>%n часа назад</numerusform>
            <numerusform>%n часов назад</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n hours ago</source>
        <translation>
            <numerusform>%n час назад</numerusform>
            <numerusform>%n часа назад</numerusform>
            <numerusform>%n часов назад</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FRWProcessViewController</name>
    <message>
        <source>Process</source>
        <translation>Процессы</translation>
    </message>
    <message>
        <source>No process traffic yet.</source>
        <translation>Трафика процессов пока нет.</translation>
    </message>
</context>
<context>
    <name>FRWProfileRow</name>
    <message>
        <source>In use</source>
        <translation>Используется</translation>
    </message>
</context>
<context>
    <name>FRWProfileStore</name>
    <message>
        <source>there is no Trash folder at %1.</source>
        <translation>в %1 нет папки корзины.</translation>
    </message>
    <message>
        <source>the last profile cannot be deleted.</source>
        <translation>последний профиль удалить нельзя.</translation>
    </message>
    <message>
        <source>the Trash cannot take it (%1).</source>
        <translation>корзина не может его принять (%1).</translation>
    </message>
</context>
<context>
    <name>FRWProfileValidation</name>
    <message>
        <source>%1 cannot contain a line break or a NUL character.</source>
        <translation>%1 не может содержать перевод строки или символ NUL.</translation>
    </message>
    <message>
        <source>%1 contains a character that is not valid text.</source>
        <translation>%1 содержит символ, не являющийся допустимым текстом.</translation>
    </message>
    <message>
        <source>%1 cannot contain a comma.</source>
        <translation>%1 не может содержать запятую.</translation>
    </message>
    <message>
        <source>%1 cannot begin or end with a space.</source>
        <translation>%1 не может начинаться или заканчиваться пробелом.</translation>
    </message>
    <message>
        <source>Enter a name.</source>
        <translation>Введите имя.</translation>
    </message>
    <message>
        <source>A name</source>
        <translation>Имя</translation>
    </message>
    <message>
        <source>A name cannot contain “=”.</source>
        <translation>Имя не может содержать «=».</translation>
    </message>
    <message>
        <source>A name cannot begin with “#”: the line would be a comment.</source>
        <translation>Имя не может начинаться с «#»: строка станет комментарием.</translation>
    </message>
    <message>
        <source>A name cannot begin with “[”: the line could read as a section.</source>
        <translation>Имя не может начинаться с «[»: строка может читаться как раздел.</translation>
    </message>
    <message>
        <source>%1 is a built-in policy.</source>
        <translation>%1 — встроенная политика.</translation>
    </message>
    <message>
        <source>A node named %1 already exists.</source>
        <translation>Узел с именем %1 уже существует.</translation>
    </message>
    <message>
        <source>A policy group named %1 already exists.</source>
        <translation>Группа политик с именем %1 уже существует.</translation>
    </message>
    <message>
        <source>Enter a server.</source>
        <translation>Введите сервер.</translation>
    </message>
    <message>
        <source>A server</source>
        <translation>Сервер</translation>
    </message>
    <message>
        <source>The key</source>
        <translation>Ключ</translation>
    </message>
    <message>
        <source>This key looks typed rather than generated: it could be guessed from one recorded connection. Use the key the server installer printed.</source>
        <translation>Этот ключ похож на набранный вручную, а не сгенерированный: его можно подобрать по одному записанному подключению. Используйте ключ, который вывел установщик сервера.</translation>
    </message>
    <message>
        <source>Enter a value.</source>
        <translation>Введите значение.</translation>
    </message>
    <message>
        <source>A rule&apos;s value</source>
        <translation>Значение правила</translation>
    </message>
    <message>
        <source>Enter a domain name.</source>
        <translation>Введите доменное имя.</translation>
    </message>
    <message>
        <source>This is not a regular expression the core can use.</source>
        <translation>Это не регулярное выражение, которое может использовать ядро.</translation>
    </message>
    <message>
        <source>Enter an address or an address range such as 10.0.0.0/8.</source>
        <translation>Введите адрес или диапазон адресов, например 10.0.0.0/8.</translation>
    </message>
    <message>
        <source>Enter a port or a range such as 8000-8100.</source>
        <translation>Введите порт или диапазон, например 8000-8100.</translation>
    </message>
    <message>
        <source>Enter tcp or udp.</source>
        <translation>Введите tcp или udp.</translation>
    </message>
</context>
<context>
    <name>FRWProfileViewController</name>
    <message>
        <source>Profile</source>
        <translation>Профиль</translation>
    </message>
    <message>
        <source>Profiles</source>
        <translation>Профили</translation>
    </message>
    <message>
        <source>New Profile</source>
        <translation>Новый профиль</translation>
    </message>
    <message>
        <source>Duplicate Profile</source>
        <translation>Дублировать профиль</translation>
    </message>
    <message>
        <source>Delete Profile</source>
        <translation>Удалить профиль</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Имя</translation>
    </message>
    <message>
        <source>Profile Name</source>
        <translation>Имя профиля</translation>
    </message>
    <message>
        <source>Set as Active</source>
        <translation>Сделать активным</translation>
    </message>
    <message>
        <source>Reload</source>
        <translation>Перезагрузить</translation>
    </message>
    <message>
        <source>Keep Mine</source>
        <translation>Оставить мой</translation>
    </message>
    <message>
        <source>Profile Text</source>
        <translation>Текст профиля</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Сохранить</translation>
    </message>
    <message>
        <source>Import…</source>
        <translation>Импорт…</translation>
    </message>
    <message>
        <source>Active</source>
        <translation>Активный</translation>
    </message>
    <message>
        <source>“%1” was changed elsewhere while you edited it. Reload it, or keep your version and save it over those changes.</source>
        <translation>«%1» был изменён в другом месте, пока вы его редактировали. Перезагрузите его или оставьте свою версию и сохраните её поверх тех изменений.</translation>
    </message>
    <message>
        <source>Saved</source>
        <translation>Сохранено</translation>
    </message>
    <message>
        <source>“%1” was kept: %2</source>
        <translation>«%1» сохранён: %2</translation>
    </message>
    <message>
        <source>Moved “%1” to the Trash</source>
        <translation>«%1» перемещён в корзину</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Импорт</translation>
    </message>
    <message>
        <source>Profiles (*.conf *.ini *.txt)</source>
        <translation>Профили (*.conf *.ini *.txt)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Все файлы (*)</translation>
    </message>
    <message>
        <source>“%1” is not a UTF-8 text file</source>
        <translation>«%1» не является текстовым файлом UTF-8</translation>
    </message>
    <message>
        <source>PROFILES</source>
        <translation>ПРОФИЛИ</translation>
    </message>
</context>
<context>
    <name>FRWRuleEditorSheet</name>
    <message>
        <source>Edit Rule</source>
        <translation>Изменить правило</translation>
    </message>
    <message>
        <source>Add Rule</source>
        <translation>Добавить правило</translation>
    </message>
    <message>
        <source>Rules are matched top to bottom, and the first one that matches decides where the connection goes.</source>
        <translation>Правила проверяются сверху вниз, и первое совпавшее решает, куда пойдёт подключение.</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Тип</translation>
    </message>
    <message>
        <source>Policy</source>
        <translation>Политика</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Значение</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Сохранить</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Добавить</translation>
    </message>
    <message>
        <source>This rule will match</source>
        <translation>Под это правило попадут</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Назад</translation>
    </message>
</context>
<context>
    <name>FRWRuleText</name>
    <message>
        <source>Matches that one host exactly. mail.example.com does not match example.com.</source>
        <translation>Совпадает ровно с этим хостом. mail.example.com не совпадает с example.com.</translation>
    </message>
    <message>
        <source>Matches the host and everything under it: example.com also matches www.example.com.</source>
        <translation>Совпадает с хостом и всем, что под ним: example.com совпадает и с www.example.com.</translation>
    </message>
    <message>
        <source>Matches any host containing this text anywhere in it.</source>
        <translation>Совпадает с любым хостом, содержащим этот текст в любом месте.</translation>
    </message>
    <message>
        <source>A host pattern in which * stands for any run of characters.</source>
        <translation>Шаблон хоста, в котором * означает любую последовательность символов.</translation>
    </message>
    <message>
        <source>A regular expression matched against the host name.</source>
        <translation>Регулярное выражение, сопоставляемое с именем хоста.</translation>
    </message>
    <message>
        <source>An IPv4 address range, matched against the destination address.</source>
        <translation>Диапазон адресов IPv4, сопоставляемый с адресом назначения.</translation>
    </message>
    <message>
        <source>An IPv6 address range, matched against the destination address.</source>
        <translation>Диапазон адресов IPv6, сопоставляемый с адресом назначения.</translation>
    </message>
    <message>
        <source>An address range matched against the SOURCE — the device the traffic came from.</source>
        <translation>Диапазон адресов, сопоставляемый с ИСТОЧНИКОМ — устройством, откуда пришёл трафик.</translation>
    </message>
    <message>
        <source>A two-letter country code, matched against the country of the destination IP.</source>
        <translation>Двухбуквенный код страны, сопоставляемый со страной IP назначения.</translation>
    </message>
    <message>
        <source>443   or   8000-8100</source>
        <translation>443   или   8000-8100</translation>
    </message>
    <message>
        <source>The port being connected to: one port, or a range such as 8000-8100.</source>
        <translation>Порт, к которому подключаются: один порт или диапазон, например 8000-8100.</translation>
    </message>
    <message>
        <source>The port the connection came from: one port, or a range.</source>
        <translation>Порт, с которого пришло подключение: один порт или диапазон.</translation>
    </message>
    <message>
        <source>tcp or udp.</source>
        <translation>tcp или udp.</translation>
    </message>
    <message>
        <source>The name of the program making the connection, as shown on the Process screen.</source>
        <translation>Имя программы, устанавливающей подключение, как на экране «Процессы».</translation>
    </message>
    <message>
        <source>The full path to the program making the connection.</source>
        <translation>Полный путь к программе, устанавливающей подключение.</translation>
    </message>
    <message>
        <source>The name of a bundled rule set, or the URL of one to download.</source>
        <translation>Имя встроенного набора правил или URL набора для загрузки.</translation>
    </message>
    <message>
        <source>no value needed</source>
        <translation>значение не нужно</translation>
    </message>
    <message>
        <source>Matches everything no rule above it matched, so it belongs last and takes no value.</source>
        <translation>Совпадает со всем, с чем не совпало ни одно правило выше, поэтому ставится последним и значения не принимает.</translation>
    </message>
    <message>
        <source>connect directly, without going through a node</source>
        <translation>пойдут напрямую, без узлов</translation>
    </message>
    <message>
        <source>be blocked</source>
        <translation>будут заблокированы</translation>
    </message>
    <message>
        <source>be sent through &quot;%1&quot;</source>
        <translation>пойдут через «%1»</translation>
    </message>
    <message>
        <source>Connections to exactly %1 will %2.

Only that one host matches. Anything under it — a sub-domain such as www.%1 — does not, and needs its own rule.</source>
        <translation>Подключения ровно к %1 %2.

Совпадает только этот один хост. Всё, что под ним, — поддомен вроде www.%1 — не совпадает и требует отдельного правила.</translation>
    </message>
    <message>
        <source>Connections to %1, and to every host under it, will %2.

That includes ones you have not listed: www.%1, api.%1, and any other sub-domain added in future.</source>
        <translation>Подключения к %1 и к каждому хосту под ним %2.

Сюда входят и те, что вы не перечислили: www.%1, api.%1 и любой поддомен, добавленный в будущем.</translation>
    </message>
    <message>
        <source>Connections to any host whose name contains &quot;%1&quot; anywhere in it will %2.

This is the widest of the domain rules and the easiest to underestimate: it matches on the text alone, so a host like %1-cdn.example.net, belonging to somebody else entirely, matches too.</source>
        <translation>Подключения к любому хосту, имя которого где-либо содержит «%1», %2.

Это самое широкое из доменных правил, и его легче всего недооценить: оно совпадает только по тексту, поэтому совпадёт и хост вроде %1-cdn.example.net, принадлежащий совсем другим людям.</translation>
    </message>
    <message>
        <source>Connections to any host matching the pattern %1 will %2.

* stands for any run of characters, so the pattern can reach further than the example it was written from.</source>
        <translation>Подключения к любому хосту, подходящему под шаблон %1, %2.

* означает любую последовательность символов, поэтому шаблон может захватить больше, чем пример, с которого он написан.</translation>
    </message>
    <message>
        <source>Connections to any host matching the expression %1 will %2.

An expression that matches more than intended is easy to write and hard to spot afterwards — an unanchored pattern matches anywhere in the name.</source>
        <translation>Подключения к любому хосту, подходящему под выражение %1, %2.

Выражение, которое совпадает с большим, чем задумано, легко написать и трудно заметить потом — шаблон без якорей совпадает в любом месте имени.</translation>
    </message>
    <message>
        <source>Connections to any address in the range %1 will %2.

This is matched on the destination address, so it applies no matter what host name was used to reach it.</source>
        <translation>Подключения к любому адресу в диапазоне %1 %2.

Сопоставляется адрес назначения, поэтому неважно, по какому имени хоста к нему обращались.</translation>
    </message>
    <message>
        <source>Connections coming FROM any address in %1 will %2.

This matches the source, not the destination — it is for routing other devices on your network, and does not affect this computer&apos;s own traffic.</source>
        <translation>Подключения С любого адреса в %1 %2.

Сопоставляется источник, а не назначение — это для маршрутизации других устройств вашей сети, и на собственный трафик этого компьютера не влияет.</translation>
    </message>
    <message>
        <source>Connections to port %1 — on any host at all — will %2.

This matches the port alone, so it applies to every destination. A rule on 443 covers essentially all HTTPS traffic.</source>
        <translation>Подключения к порту %1 — на любом хосте вообще — %2.

Сопоставляется только порт, поэтому правило действует для всех назначений. Правило для 443 покрывает практически весь трафик HTTPS.</translation>
    </message>
    <message>
        <source>Connections coming from port %1 will %2.

Source ports are normally picked at random by the system, so this is really only useful for a service that binds a fixed one.</source>
        <translation>Подключения с порта %1 %2.

Порты источника обычно выбираются системой случайно, так что это полезно только для службы, привязанной к фиксированному порту.</translation>
    </message>
    <message>
        <source>Every %1 connection will %2, whatever its destination.</source>
        <translation>Все подключения %1 %2, каким бы ни было назначение.</translation>
    </message>
    <message>
        <source>Connections made by %1 will %2.

Matched on the program&apos;s name alone, so any program called %1 matches, wherever on disk it is.</source>
        <translation>Подключения, которые устанавливает %1, %2.

Сопоставляется только имя программы, поэтому совпадёт любая программа с именем %1, где бы на диске она ни лежала.</translation>
    </message>
    <message>
        <source>Connections made by the program at %1 will %2.

Matched on the whole path, so another copy of the same app elsewhere will not match.</source>
        <translation>Подключения, которые устанавливает программа по пути %1, %2.

Сопоставляется весь путь, поэтому другая копия того же приложения в другом месте не совпадёт.</translation>
    </message>
    <message>
        <source>Connections whose destination address is in %1 will %2.

The country comes from a lookup of the IP address, so it follows where the server is, not where the site is from.</source>
        <translation>Подключения, адрес назначения которых находится в %1, %2.

Страна определяется по IP-адресу, поэтому учитывается, где стоит сервер, а не откуда сайт.</translation>
    </message>
    <message>
        <source>Everything in the rule set &quot;%1&quot; will %2.

What that covers is decided by the set&apos;s contents, which can be thousands of entries and can change when the set is updated.</source>
        <translation>Всё из набора правил «%1»: подключения %2.

Что он охватывает, решает содержимое набора, в котором могут быть тысячи записей и которое может меняться при его обновлении.</translation>
    </message>
    <message>
        <source>Anything that no rule above it matched will %1.

This is the catch-all, so it only makes sense as the last rule in the list.</source>
        <translation>Подключения, не совпавшие ни с одним правилом выше, %1.

Это правило «для всего остального», поэтому оно имеет смысл только последним в списке.</translation>
    </message>
    <message>
        <source>%1 %2 will %3.</source>
        <translation>%1 %2: подключения %3.</translation>
    </message>
    <message>
        <source>

Rules are matched top to bottom, and the first match wins — so a broader rule above this one will decide first.</source>
        <translation>

Правила проверяются сверху вниз, и побеждает первое совпадение — поэтому более широкое правило выше этого решит раньше.</translation>
    </message>
</context>
<context>
    <name>FRWRuleViewController</name>
    <message>
        <source>Rule</source>
        <translation>Правила</translation>
    </message>
    <message>
        <source>Rules are evaluated in priority order, top to bottom.</source>
        <translation>Правила применяются по приоритету, сверху вниз.</translation>
    </message>
    <message>
        <source>+ Add Rule</source>
        <translation>+ Добавить правило</translation>
    </message>
    <message>
        <source>Rules</source>
        <translation>Правила</translation>
    </message>
    <message>
        <source>Edit Rule…</source>
        <translation>Изменить правило…</translation>
    </message>
    <message>
        <source>Delete Rule</source>
        <translation>Удалить правило</translation>
    </message>
</context>
<context>
    <name>FRWRulesModel</name>
    <message>
        <source>Type</source>
        <translation>Тип</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Значение</translation>
    </message>
    <message>
        <source>Policy</source>
        <translation>Политика</translation>
    </message>
    <message>
        <source>none</source>
        <translation>нет</translation>
    </message>
</context>
<context>
    <name>FRWScreenText</name>
    <message>
        <source>Direct</source>
        <translation>Напрямую</translation>
    </message>
    <message>
        <source>Global: %1</source>
        <translation>Глобальный: %1</translation>
    </message>
    <message>
        <source>Rule-Based Proxy</source>
        <translation>Прокси по правилам</translation>
    </message>
    <message>
        <source>just now</source>
        <translation>только что</translation>
    </message>
    <message>
        <source>%1s ago</source>
        <translation>%1 с назад</translation>
    </message>
    <message>
        <source>%1m ago</source>
        <translation>%1 мин назад</translation>
    </message>
    <message>
        <source>The ferrow:// link on the clipboard is malformed</source>
        <translation>Ссылка ferrow:// в буфере обмена повреждена</translation>
    </message>
    <message>
        <source>No ferrow:// link on the clipboard</source>
        <translation>В буфере обмена нет ссылки ferrow://</translation>
    </message>
</context>
<context>
    <name>FRWSettingsViewController</name>
    <message>
        <source>Settings</source>
        <translation>Настройки</translation>
    </message>
    <message>
        <source>Ferrow %1</source>
        <translation>Ferrow %1</translation>
    </message>
    <message>
        <source>Enhanced Mode Helper</source>
        <translation>Помощник расширенного режима</translation>
    </message>
    <message>
        <source>Enhanced Mode routes all traffic through a system-wide tunnel. Creating the tunnel interface and its routes needs a small helper that runs as root, started by systemd when Ferrow asks for it. It is installed once; %1 asks you to approve it with your password.</source>
        <translation>Расширенный режим пропускает весь трафик через общесистемный туннель. Для создания интерфейса туннеля и его маршрутов нужен небольшой помощник, работающий от root; systemd запускает его, когда Ferrow об этом просит. Он устанавливается один раз; %1 попросит вас подтвердить это паролем.</translation>
    </message>
    <message>
        <source>Installed</source>
        <translation>Установлен</translation>
    </message>
    <message>
        <source>Install</source>
        <translation>Установить</translation>
    </message>
    <message>
        <source>Uninstall</source>
        <translation>Удалить</translation>
    </message>
    <message>
        <source>Permissions</source>
        <translation>Разрешения</translation>
    </message>
    <message>
        <source>Ferrow asks for two, both optional — it works without either, just with less to show you.</source>
        <translation>Ferrow просит два разрешения, оба необязательны — без них он тоже работает, просто показывает меньше.</translation>
    </message>
    <message>
        <source>Location</source>
        <translation>Местоположение</translation>
    </message>
    <message>
        <source>The name of the Wi-Fi network you are on comes from NetworkManager and is shown on the Activity screen instead of the interface name. Reading it needs no permission, and no location data is involved: your location is never read, stored or sent anywhere.</source>
        <translation>Имя сети Wi-Fi, к которой вы подключены, берётся из NetworkManager и показывается на экране «Активность» вместо имени интерфейса. Для этого не нужно разрешений и не используются данные о местоположении: ваше местоположение никогда не читается, не хранится и никуда не отправляется.</translation>
    </message>
    <message>
        <source>Notifications</source>
        <translation>Уведомления</translation>
    </message>
    <message>
        <source>Lets Ferrow tell you when something needs attention while its window is closed: a rule-set that has stopped updating, or a node that has stopped answering — and again when it recovers. Nothing else is ever sent as a notification.</source>
        <translation>Позволяет Ferrow сообщать, когда что-то требует внимания, пока его окно закрыто: набор правил перестал обновляться или узел перестал отвечать — и ещё раз, когда всё восстановится. Ничего другого уведомлениями не отправляется.</translation>
    </message>
    <message>
        <source>Granted</source>
        <translation>Разрешено</translation>
    </message>
    <message>
        <source>Allow</source>
        <translation>Разрешить</translation>
    </message>
    <message>
        <source>Privacy</source>
        <translation>Конфиденциальность</translation>
    </message>
    <message>
        <source>Network checks</source>
        <translation>Сетевые проверки</translation>
    </message>
    <message>
        <source>Looks up your external address and its location from public echo and location services, and measures the latency to a public resolver, for the Activity screen. Off, Ferrow contacts none of them.</source>
        <translation>Узнаёт ваш внешний адрес и его местоположение у публичных эхо-сервисов и сервисов геолокации и измеряет задержку до публичного DNS-сервера для экрана «Активность». Если выключено, Ferrow не обращается ни к одному из них.</translation>
    </message>
    <message>
        <source>Check for updates</source>
        <translation>Проверять обновления</translation>
    </message>
    <message>
        <source>Reads the release feed at %1 a minute after launch.</source>
        <translation>Читает ленту выпусков по адресу %1 через минуту после запуска.</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Общие</translation>
    </message>
    <message>
        <source>Launch Ferrow at login</source>
        <translation>Запускать Ferrow при входе</translation>
    </message>
    <message>
        <source>Installed by the system package</source>
        <translation>Установлен системным пакетом</translation>
    </message>
    <message>
        <source> (version %1)</source>
        <translation> (версия %1)</translation>
    </message>
    <message>
        <source> · running</source>
        <translation> · работает</translation>
    </message>
    <message>
        <source> · waiting for Ferrow</source>
        <translation> · ждёт Ferrow</translation>
    </message>
    <message>
        <source> · not started (%1)</source>
        <translation> · не запущен (%1)</translation>
    </message>
    <message>
        <source> · out of date, update the ferrow package</source>
        <translation> · устарел, обновите пакет ferrow</translation>
    </message>
    <message>
        <source> · out of date, reinstalled at the next connect</source>
        <translation> · устарел, будет переустановлен при следующем подключении</translation>
    </message>
    <message>
        <source>A helper that Ferrow installed from a build folder is also present and takes the package&apos;s place in systemd. Uninstall removes that copy, and the package&apos;s helper takes over; Ferrow never installs its own over the package&apos;s.</source>
        <translation>Также присутствует помощник, который Ferrow установил из папки сборки, и в systemd он занимает место помощника из пакета. «Удалить» уберёт эту копию, и её место займёт помощник из пакета; Ferrow никогда не ставит свой помощник поверх пакетного.</translation>
    </message>
    <message>
        <source>This copy of Ferrow is not the one the package installed. The package&apos;s helper only serves a Ferrow signed with the package&apos;s key, and Ferrow never installs its own over the package&apos;s: use the installed Ferrow for Enhanced Mode, or remove the package.</source>
        <translation>Эта копия Ferrow — не та, что установил пакет. Помощник из пакета обслуживает только Ferrow, подписанный ключом пакета, а Ferrow никогда не ставит свой помощник поверх пакетного: используйте установленный Ferrow для расширенного режима или удалите пакет.</translation>
    </message>
    <message>
        <source>Helper requires a signed build</source>
        <translation>Помощнику нужна подписанная сборка</translation>
    </message>
    <message>
        <source>The privileged helper is only installed when it carries the signature of this build of Ferrow, and the helper that came with it does not verify. Reinstall Ferrow from its package, or rebuild it so that the build signs its own helper again.</source>
        <translation>Привилегированный помощник устанавливается, только если несёт подпись этой сборки Ferrow, а пришедший с ней помощник проверку не проходит. Переустановите Ferrow из пакета или пересоберите его, чтобы сборка снова подписала свой помощник.</translation>
    </message>
    <message>
        <source>Helper installation needs approval</source>
        <translation>Установка помощника требует подтверждения</translation>
    </message>
    <message>
        <source>Helper could not be installed</source>
        <translation>Не удалось установить помощник</translation>
    </message>
    <message>
        <source>Remove the Enhanced Mode helper?</source>
        <translation>Удалить помощник расширенного режима?</translation>
    </message>
    <message>
        <source>This stops the tunnel and removes the root helper (%1). You can reinstall it any time — it&apos;s also how you upgrade the helper after an app update. %2 will ask for your password.</source>
        <translation>Это остановит туннель и удалит помощник root (%1). Его можно переустановить в любой момент — так же помощник обновляется после обновления приложения. %2 попросит ваш пароль.</translation>
    </message>
    <message>
        <source>Couldn&apos;t remove the helper</source>
        <translation>Не удалось удалить помощник</translation>
    </message>
    <message>
        <source>Open Settings</source>
        <translation>Открыть настройки</translation>
    </message>
    <message>
        <source>No notification service answers</source>
        <translation>Служба уведомлений не отвечает</translation>
    </message>
    <message>
        <source>Ferrow shows its notifications through the desktop&apos;s notification service (org.freedesktop.Notifications), and none answers in this session. Start your desktop&apos;s notification daemon, or install one such as dunst or mako, then come back to this page.</source>
        <translation>Ferrow показывает уведомления через службу уведомлений рабочего стола (org.freedesktop.Notifications), а в этом сеансе ни одна не отвечает. Запустите демон уведомлений вашего рабочего стола или установите какой-нибудь, например dunst или mako, затем вернитесь на эту страницу.</translation>
    </message>
</context>
<context>
    <name>FRWSidebarViewController</name>
    <message>
        <source>Pages</source>
        <translation>Страницы</translation>
    </message>
    <message>
        <source>Activity</source>
        <translation>Активность</translation>
    </message>
    <message>
        <source>Overview</source>
        <translation>Обзор</translation>
    </message>
    <message>
        <source>Connections</source>
        <translation>Подключения</translation>
    </message>
    <message>
        <source>Clients</source>
        <translation>Клиенты</translation>
    </message>
    <message>
        <source>Process</source>
        <translation>Процессы</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Устройство</translation>
    </message>
    <message>
        <source>Proxies</source>
        <translation>Прокси</translation>
    </message>
    <message>
        <source>Profile</source>
        <translation>Профиль</translation>
    </message>
    <message>
        <source>Policy</source>
        <translation>Политика</translation>
    </message>
    <message>
        <source>Rule</source>
        <translation>Правила</translation>
    </message>
    <message>
        <source>System</source>
        <translation>Система</translation>
    </message>
    <message>
        <source>Logs</source>
        <translation>Журнал</translation>
    </message>
    <message>
        <source>About</source>
        <translation>О программе</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Настройки</translation>
    </message>
</context>
<context>
    <name>FRWStatusMenuBuilder</name>
    <message>
        <source>Failed</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>Show Main Window</source>
        <translation>Показать главное окно</translation>
    </message>
    <message>
        <source>Rule-Based</source>
        <translation>По правилам</translation>
    </message>
    <message>
        <source>Direct</source>
        <translation>Напрямую</translation>
    </message>
    <message>
        <source>Global via</source>
        <translation>Глобально через</translation>
    </message>
    <message>
        <source>Outbound Mode</source>
        <translation>Режим выхода</translation>
    </message>
    <message>
        <source>Testing…</source>
        <translation>Проверка…</translation>
    </message>
    <message>
        <source>Test All</source>
        <translation>Проверить все</translation>
    </message>
    <message>
        <source>Top Clients</source>
        <translation>Основные клиенты</translation>
    </message>
    <message>
        <source>    No traffic yet</source>
        <translation>    Трафика пока нет</translation>
    </message>
    <message>
        <source>Set as System Proxy</source>
        <translation>Сделать системным прокси</translation>
    </message>
    <message>
        <source>Enhanced Mode</source>
        <translation>Расширенный режим</translation>
    </message>
    <message>
        <source>Copy Shell Export Command</source>
        <translation>Скопировать команду export для оболочки</translation>
    </message>
    <message>
        <source>Switch Profile</source>
        <translation>Сменить профиль</translation>
    </message>
    <message>
        <source>Untitled</source>
        <translation>Без имени</translation>
    </message>
    <message>
        <source>External Resources</source>
        <translation>Внешние ресурсы</translation>
    </message>
    <message>
        <source>Update All External Resources</source>
        <translation>Обновить все внешние ресурсы</translation>
    </message>
    <message>
        <source>Edit in Text Editor</source>
        <translation>Открыть в текстовом редакторе</translation>
    </message>
    <message>
        <source>Reveal in %1</source>
        <translation>Показать в %1</translation>
    </message>
    <message>
        <source>Reload Profile from File</source>
        <translation>Перезагрузить профиль из файла</translation>
    </message>
    <message>
        <source>Check For Updates…</source>
        <translation>Проверить обновления…</translation>
    </message>
    <message>
        <source>Quit Ferrow</source>
        <translation>Выйти из Ferrow</translation>
    </message>
</context>
<context>
    <name>FRWTerminatingPanel</name>
    <message>
        <source>Terminating…</source>
        <translation>Завершение…</translation>
    </message>
    <message>
        <source>Restoring DNS and routing</source>
        <translation>Восстановление DNS и маршрутов</translation>
    </message>
</context>
<context>
    <name>FRWTunnelController</name>
    <message>
        <source>%1 would not apply the proxy settings. This usually means the account is not an administrator, or Network settings are locked.</source>
        <translation>%1 не применила настройки прокси. Обычно это значит, что учётная запись не администратор или настройки сети заблокированы.</translation>
    </message>
    <message>
        <source>The core exited during startup. Check the profile for errors.</source>
        <translation>Ядро завершилось при запуске. Проверьте профиль на ошибки.</translation>
    </message>
    <message>
        <source>The core exited during startup: %1</source>
        <translation>Ядро завершилось при запуске: %1</translation>
    </message>
    <message>
        <source>The core did not finish starting up.</source>
        <translation>Ядро не завершило запуск.</translation>
    </message>
</context>
<context>
    <name>FRWTunnelTexts</name>
    <message>
        <source>No server configured. Open Profile, set a server and PSK, then Save.</source>
        <translation>Сервер не настроен. Откройте «Профиль», задайте сервер и PSK, затем сохраните.</translation>
    </message>
    <message>
        <source>Bundled core binary is missing.</source>
        <translation>Встроенный исполняемый файл ядра отсутствует.</translation>
    </message>
    <message>
        <source>The Enhanced Mode helper comes with the system package ferrow%1, so Ferrow does not install or remove its own in its place. Update or remove it with the system&apos;s package manager.</source>
        <translation>Помощник расширенного режима поставляется с системным пакетом ferrow%1, поэтому Ferrow не устанавливает и не удаляет свой вместо него. Обновите или удалите его менеджером пакетов системы.</translation>
    </message>
</context>
<context>
    <name>FRWUpdateChecker</name>
    <message>
        <source>The update feed could not be read.</source>
        <translation>Не удалось прочитать ленту обновлений.</translation>
    </message>
    <message>
        <source>Update Error!</source>
        <translation>Ошибка обновления!</translation>
    </message>
    <message>
        <source>An error occurred in retrieving update information. Please try again later.

%1</source>
        <translation>При получении сведений об обновлении произошла ошибка. Повторите попытку позже.

%1</translation>
    </message>
    <message>
        <source>You’re up-to-date!</source>
        <translation>У вас последняя версия!</translation>
    </message>
    <message>
        <source>Ferrow %1 is currently the newest version available.</source>
        <translation>Ferrow %1 — новейшая доступная версия.</translation>
    </message>
    <message>
        <source>A new version of Ferrow is available!</source>
        <translation>Доступна новая версия Ferrow!</translation>
    </message>
    <message>
        <source>Ferrow %1 is now available—you have %2.</source>
        <translation>Доступен Ferrow %1 — у вас %2.</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Загрузка</translation>
    </message>
    <message>
        <source>Remind Me Later</source>
        <translation>Напомнить позже</translation>
    </message>
</context>
</TS>
