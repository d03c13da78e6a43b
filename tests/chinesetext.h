#pragma once

#include <QString>
#include <QStringList>

// Chinese text as people write it: news, a notice, dialogue, a recipe, instructions mixed with
// English and digits, verse, names, addresses, single words, prices, rules and messages. Short
// ones alone, long ones together.
inline QStringList ChineseSamples() {
    return {
        QStringLiteral("今天上午九点，市图书馆举行了新馆开放仪式。馆长在致辞中表示，新馆藏书超过"
                       "一百二十万册，并设有儿童阅览区、自习室和数字资源中心。\r\n"),
        QStringLiteral("通知：因线路检修，本小区将于本周六上午八点至下午五点停水，请各位住户提前"
                       "做好储水准备。给您带来的不便，敬请谅解。\r\n物业服务中心\r\n"),
        QStringLiteral("“你明天还来吗？”她问。\n“不一定，看情况吧。”他笑了笑，把伞递给她，转身走进"
                       "了雨里。\n"),
        QStringLiteral("做法：先把土豆去皮切块，用清水泡十分钟；锅中放油，油热后下葱姜蒜爆香，再放"
                       "入土豆翻炒，加少许盐和酱油，焖至熟透即可。\n"),
        QStringLiteral("本程序支持 Windows 和 Linux 两种系统，安装前请确认磁盘剩余空间不少于 2 GB，"
                       "并关闭所有正在运行的杀毒软件。\r\n"),
        QStringLiteral("床前明月光，疑是地上霜。\r\n举头望明月，低头思故乡。\r\n"),
        QStringLiteral("张伟\r\n王芳\r\n李娜\r\n刘洋\r\n陈静\r\n杨帆\r\n赵磊\r\n黄婷\r\n张伟\r\n"),
        QStringLiteral(
            "北京市海淀区中关村大街27号\n上海市浦东新区世纪大道100号\n广州市天河区体育西路"
            "191号\n"),
        QStringLiteral("是\n否\n确定\n取消\n上海\n不错\n确定\n"),
        QStringLiteral("价格：128元/件，库存 35 件，下单后 3 天内发货。\r\n"),
        QStringLiteral(
            "第一章　总则\r\n第一条　为了规范本单位的财务管理，根据有关法律法规，结合实际"
            "情况，制定本办法。\r\n"),
        QStringLiteral("错误：无法打开文件。\n警告：磁盘空间不足。\n提示：操作已完成。\n"),
    };
}

// All of the samples, one after the other.
inline QString ChineseProse() {
    return ChineseSamples().join(QString());
}
